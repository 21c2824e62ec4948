#pragma once

#include <QDateTime>
#include <bit>
#include <map>
#include <vector>

#include "history/history_recorder.h"
#include "platform/key_store.h"
#include "platform/registry.h"

namespace velmar::test {

// A record as a test wants it in the history; `counted` false writes an
// older record (the averages only).
struct RecordSpec {
  QDateTime at;
  uint64_t down = 0;
  uint64_t up = 0;
  bool counted = true;
  qint32 avgDown = 0;
  qint32 avgUp = 0;
  qint32 spanMs = 300000;
  std::vector<ProgramVolume> programs = {};  // none: a record without them
};

// Writes the records under their days' keys (named in `format`), numbered
// after what each day already holds, one transaction per day.
inline void WriteRecords(KeyStore& store, const std::vector<RecordSpec>& records,
                         const QString& format = QStringLiteral("yyyy-MM-dd")) {
  std::map<QString, std::vector<const RecordSpec*>> days;
  for (const RecordSpec& r : records) {
    days[r.at.date().toString(format)].push_back(&r);
  }
  for (const auto& [day, list] : days) {
    Registry reg(store);
    reg.SetRootKey(KeyRoot::kMachine);
    reg.OpenKey(HistoryRecorder::DayKey(day), true);
    int n = reg.ValueExists(HistoryRecorder::kHighWater)
                ? reg.ReadInteger(HistoryRecorder::kHighWater)
                : 0;
    std::vector<NamedValue> values;
    for (const RecordSpec* r : list) {
      ++n;
      const double ole = DayKeyDates::OleDate(r->at);
      values.push_back({HistoryRecorder::TimestampName(n),
                        StoredValue::Binary(HistoryRecorder::Quad(std::bit_cast<quint64>(ole)))});
      values.push_back({HistoryRecorder::AvgDownName(n), StoredValue::Integer(r->avgDown)});
      values.push_back({HistoryRecorder::AvgUpName(n), StoredValue::Integer(r->avgUp)});
      if (r->counted) {
        values.push_back({HistoryRecorder::CountedDownName(n),
                          StoredValue::Binary(HistoryRecorder::Quad(r->down))});
        values.push_back(
            {HistoryRecorder::CountedUpName(n), StoredValue::Binary(HistoryRecorder::Quad(r->up))});
        values.push_back({HistoryRecorder::CountedMsName(n), StoredValue::Integer(r->spanMs)});
      }
      if (!r->programs.empty()) {
        values.push_back({HistoryRecorder::ProgramsName(n),
                          StoredValue::String(EncodeProgramVolumes(r->programs))});
      }
    }
    values.push_back({HistoryRecorder::kHighWater, StoredValue::Integer(n)});
    reg.WriteValues(values);
  }
}

// One value of a day's alarm log, as the alarm evaluation writes it.
inline void WriteAlarm(KeyStore& store, const DayKeyDates& dates, const QDateTime& at, int code) {
  Registry reg(store);
  reg.SetRootKey(KeyRoot::kMachine);
  reg.OpenKey(HistoryRecorder::AlarmsKey(dates.Name(at.date())), true);
  reg.WriteString(dates.DateTimeText(at), QString::number(code));
}

}  // namespace velmar::test
