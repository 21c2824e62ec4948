#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "history/day_key_dates.h"
#include "history/program_volumes.h"
#include "platform/exception.h"

namespace velmar {

class KeyStore;

// A record of the history that cannot be what the recorder wrote: a value
// of the wrong type or size, a time that is no time. The message names the
// day key, the record and the value.
class HistoryDamagedError : public Exception {
 public:
  using Exception::Exception;
};

// One five-minute record as read back.
struct HistoryRecord {
  qint64 at = 0;       // when it was taken: DayKeyDates::LocalMs
  qint32 avgDown = 0;  // the averages, bytes per second
  qint32 avgUp = 0;
  // Whether the record carries counted volumes; older ones do not.
  bool counted = false;
  uint64_t downBytes = 0;
  uint64_t upBytes = 0;
  // The time the counted bytes took; for older records the recorder's
  // period of five minutes.
  qint32 spanMs = 0;
  // A record of what passed while the meter was not running: when that
  // span began (DayKeyDates::LocalMs); 0 for a record the meter measured.
  qint64 notRunningSince = 0;
  bool WhileNotRunning() const { return notRunningSince != 0; }
  // The rows per program, when the record has them and they were asked
  // for; older records and those of a meter without them have none.
  bool byProgram = false;
  std::vector<ProgramVolume> programs;
};

// A span the history knows nothing of: the machine was restarted while
// the meter did not run. Stored in the day key of its end.
struct HistoryGap {
  qint64 from = 0;  // DayKeyDates::LocalMs
  qint64 to = 0;
};

// One value of a day's alarm log.
struct AlarmRecord {
  qint64 at = 0;  // DayKeyDates::LocalMs
  qint32 code = 0;
  QString name;  // the value name as stored
};

struct HistoryExtract {
  std::vector<HistoryRecord> records;  // by time
  std::vector<AlarmRecord> alarms;     // by time
  std::vector<HistoryGap> gaps;        // those ending in the span, by end
  // Records begun but never finished (a meter killed between the separate
  // writes of older versions): skipped, and counted here for the report.
  int incompleteRecords = 0;
  // Alarm values whose name is no date and time in the current formats.
  int unreadableAlarms = 0;
};

// Reads the records and alarm events of a span of time back from the
// history, the way the recorder and the alarm log wrote them. Only the day
// keys that can hold the span are read (plus those whose name is no date in
// the current format: a changed date format must not hide them).
class HistoryReader {
 public:
  HistoryReader(KeyStore& store, const DayKeyDates& dates) : store_(store), dates_(dates) {}

  // Everything stamped in [from, to), times as DayKeyDates::LocalMs, the
  // rows per program only `withPrograms`. Raises HistoryDamagedError for a
  // damaged record, KeyStoreError when the store cannot be read.
  HistoryExtract Read(qint64 from, qint64 to, bool withAlarms = true, bool withPrograms = false);

  // The period the estimates of older records assume.
  static constexpr qint32 kOlderRecordSpanMs = 300000;

 private:
  KeyStore& store_;
  const DayKeyDates& dates_;
};

}  // namespace velmar
