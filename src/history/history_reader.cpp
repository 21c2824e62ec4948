#include "history/history_reader.h"

#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>

#include "history/history_recorder.h"
#include "platform/key_store.h"

namespace velmar {

namespace {

enum class Part {
  kTimestamp,
  kAvgDown,
  kAvgUp,
  kCountedDown,
  kCountedUp,
  kCountedMs,
  kNotRunningSince,
  kPrograms,
  kCount
};

// The value-name prefixes of a record, in Part order.
const QLatin1StringView kPrefixes[] = {
    QLatin1StringView("Timestamp_"),       QLatin1StringView("AvgDownSpeed_"),
    QLatin1StringView("AvgUpSpeed_"),      QLatin1StringView("CountedDown_"),
    QLatin1StringView("CountedUp_"),       QLatin1StringView("CountedMs_"),
    QLatin1StringView("NotRunningSince_"), QLatin1StringView("Programs_"),
};

// Which part of which record a value name stands for; nullopt for other
// values (HighWater, anything added by hand).
std::optional<std::pair<Part, int>> RecordPart(const QString& name) {
  // Names compare case-insensitively, as in the registry; the recorder's
  // own spelling is tried first, which is cheaper.
  for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
    for (int p = 0; p < static_cast<int>(Part::kCount); ++p) {
      const QLatin1StringView prefix = kPrefixes[p];
      if (name.size() <= prefix.size() || !name.startsWith(prefix, cs)) {
        continue;
      }
      bool ok = false;
      const int n = QStringView(name).mid(prefix.size()).toInt(&ok);
      // Only the digits the recorder writes: no sign, no blanks.
      if (ok && n > 0 && name.at(prefix.size()).isDigit()) {
        return std::make_pair(static_cast<Part>(p), n);
      }
      return std::nullopt;
    }
  }
  return std::nullopt;
}

struct RecordValues {
  std::array<const NamedValue*, static_cast<size_t>(Part::kCount)> parts{};
  const NamedValue* Get(Part p) const { return parts[static_cast<size_t>(p)]; }
};

[[noreturn]] void Damaged(const QString& day, int n, const QString& why) {
  throw HistoryDamagedError(
      QStringLiteral("History record %1 of day %2 is damaged: %3").arg(n).arg(day, why));
}

std::optional<qint64> StampOf(const NamedValue& stamp) {
  if (stamp.value.type != ValueKind::kBytes || stamp.value.binary.size() != 8) {
    return std::nullopt;
  }
  const quint64 bits = qFromLittleEndian<quint64>(stamp.value.binary.constData());
  double ole = 0;
  std::memcpy(&ole, &bits, sizeof ole);
  return DayKeyDates::LocalMsFromOle(ole);
}

qint32 Speed(const QString& day, int n, const NamedValue& value) {
  if (value.value.type != ValueKind::kInteger || value.value.integer < 0) {
    Damaged(day, n, value.name + QStringLiteral(" is not a speed"));
  }
  return value.value.integer;
}

uint64_t Bytes(const QString& day, int n, const NamedValue& value) {
  const std::optional<uint64_t> bytes = value.value.type == ValueKind::kBytes
                                            ? HistoryRecorder::FromQuad(value.value.binary)
                                            : std::nullopt;
  if (!bytes) {
    Damaged(day, n, value.name + QStringLiteral(" is not a byte count"));
  }
  return *bytes;
}

// The records of one day key that lie in [from, to).
// A gap's value: the OLE dates of its start and end; nullopt for another
// value, damage for a gap that holds no such pair.
std::optional<HistoryGap> GapOf(const QString& day, const NamedValue& value) {
  const QLatin1StringView prefix("Gap_");
  if (!value.name.startsWith(prefix, Qt::CaseInsensitive)) {
    return std::nullopt;
  }
  std::optional<qint64> from;
  std::optional<qint64> to;
  if (value.value.type == ValueKind::kBytes && value.value.binary.size() == 16) {
    from = StampOf(NamedValue{value.name, StoredValue::Binary(value.value.binary.first(8))});
    to = StampOf(NamedValue{value.name, StoredValue::Binary(value.value.binary.mid(8))});
  }
  if (!from || !to) {
    throw HistoryDamagedError(
        QStringLiteral("The gap %1 of day %2 is damaged").arg(value.name, day));
  }
  return HistoryGap{*from, *to};
}

void ReadRecords(const QString& day, const std::vector<NamedValue>& values, qint64 from, qint64 to,
                 bool withPrograms, HistoryExtract& out) {
  std::map<int, RecordValues> records;
  for (const NamedValue& value : values) {
    if (const auto part = RecordPart(value.name)) {
      records[part->second].parts[static_cast<size_t>(part->first)] = &value;
    } else if (const auto gap = GapOf(day, value)) {
      if (gap->to >= from && gap->to < to) {
        out.gaps.push_back(*gap);
      }
    }
  }
  for (const auto& [n, record] : records) {
    const NamedValue* stamp = record.Get(Part::kTimestamp);
    const NamedValue* avgDown = record.Get(Part::kAvgDown);
    const NamedValue* avgUp = record.Get(Part::kAvgUp);
    if (stamp == nullptr || avgDown == nullptr || avgUp == nullptr) {
      ++out.incompleteRecords;
      continue;
    }
    const std::optional<qint64> at = StampOf(*stamp);
    if (!at) {
      Damaged(day, n, stamp->name + QStringLiteral(" is not a time"));
    }
    if (*at < from || *at >= to) {
      continue;
    }
    HistoryRecord r;
    r.at = *at;
    r.avgDown = Speed(day, n, *avgDown);
    r.avgUp = Speed(day, n, *avgUp);
    const NamedValue* down = record.Get(Part::kCountedDown);
    const NamedValue* up = record.Get(Part::kCountedUp);
    const NamedValue* ms = record.Get(Part::kCountedMs);
    const int counted = (down != nullptr) + (up != nullptr) + (ms != nullptr);
    if (counted == 0) {
      r.spanMs = HistoryReader::kOlderRecordSpanMs;
    } else if (counted < 3) {
      // The three are written in one transaction with the rest.
      Damaged(day, n, QStringLiteral("its counted volumes are incomplete"));
    } else {
      r.counted = true;
      r.downBytes = Bytes(day, n, *down);
      r.upBytes = Bytes(day, n, *up);
      if (ms->value.type != ValueKind::kInteger || ms->value.integer <= 0) {
        Damaged(day, n, ms->name + QStringLiteral(" is not a time span"));
      }
      r.spanMs = ms->value.integer;
    }
    if (const NamedValue* since = record.Get(Part::kNotRunningSince)) {
      const std::optional<qint64> begun = StampOf(*since);
      if (!begun || *begun <= 0) {
        Damaged(day, n, since->name + QStringLiteral(" is not a time"));
      }
      r.notRunningSince = *begun;
    }
    if (const NamedValue* programs = record.Get(Part::kPrograms); programs && withPrograms) {
      auto rows = programs->value.type == ValueKind::kText
                      ? DecodeProgramVolumes(programs->value.text)
                      : std::nullopt;
      if (!rows) {
        Damaged(day, n, programs->name + QStringLiteral(" holds no volumes per program"));
      }
      r.byProgram = true;
      r.programs = std::move(*rows);
    }
    out.records.push_back(std::move(r));
  }
}

void ReadAlarms(const QString& day, const std::vector<NamedValue>& values, qint64 from, qint64 to,
                const DayKeyDates& dates, HistoryExtract& out) {
  for (const NamedValue& value : values) {
    const std::optional<QDateTime> moment = dates.ParseDateTimeText(value.name);
    if (!moment) {
      ++out.unreadableAlarms;
      continue;
    }
    const qint64 at = DayKeyDates::LocalMs(*moment);
    if (at < from || at >= to) {
      continue;
    }
    bool ok = false;
    const qint32 code = value.value.type == ValueKind::kText ? value.value.text.toInt(&ok) : 0;
    if (!ok || code <= 0) {
      throw HistoryDamagedError(
          QStringLiteral("The alarm log of day %1 is damaged: '%2' holds no alarm code")
              .arg(day, value.name));
    }
    out.alarms.push_back(AlarmRecord{at, code, value.name});
  }
}

}  // namespace

HistoryExtract HistoryReader::Read(qint64 from, qint64 to, bool withAlarms, bool withPrograms) {
  HistoryExtract out;
  const auto history = store_.OpenKey(KeyRoot::kMachine, HistoryRecorder::kHistoryKey, false);
  if (!history || from >= to) {
    return out;
  }
  // A day key holds the records taken that day, and may hold one stamped
  // just after its midnight (the key is named before the record is stamped).
  const QDate first = DayKeyDates::FromLocalMs(from).date().addDays(-1);
  const QDate last = DayKeyDates::FromLocalMs(to - 1).date();
  std::vector<KeyStore::KeyId> ids;
  QStringList names;
  for (const auto& [id, day] : store_.Subkeys(*history)) {
    const std::optional<QDate> date = dates_.Parse(day);
    if (!date || (*date >= first && *date <= last)) {
      ids.push_back(id);
      names << day;
    }
  }
  const std::vector<std::vector<NamedValue>> days = store_.Values(ids);
  for (size_t i = 0; i < days.size(); ++i) {
    ReadRecords(names[static_cast<qsizetype>(i)], days[i], from, to, withPrograms, out);
  }
  if (withAlarms) {
    std::vector<KeyStore::KeyId> logs;
    QStringList logDays;
    for (size_t i = 0; i < ids.size(); ++i) {
      for (const auto& [id, name] : store_.Subkeys(ids[i])) {
        if (name.compare(QLatin1String("Alarms"), Qt::CaseInsensitive) == 0) {
          logs.push_back(id);
          logDays << names[static_cast<qsizetype>(i)];
        }
      }
    }
    const std::vector<std::vector<NamedValue>> alarms = store_.Values(logs);
    for (size_t i = 0; i < alarms.size(); ++i) {
      ReadAlarms(logDays[static_cast<qsizetype>(i)], alarms[i], from, to, dates_, out);
    }
  }
  const auto byTime = [](const auto& a, const auto& b) { return a.at < b.at; };
  std::stable_sort(out.records.begin(), out.records.end(), byTime);
  std::stable_sort(out.alarms.begin(), out.alarms.end(), byTime);
  std::stable_sort(out.gaps.begin(), out.gaps.end(),
                   [](const HistoryGap& a, const HistoryGap& b) { return a.to < b.to; });
  return out;
}

}  // namespace velmar
