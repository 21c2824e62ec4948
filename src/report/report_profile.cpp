#include "report/report_profile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <limits>

#include "history/day_key_dates.h"

namespace velmar {

namespace {

const QString kFileFormat = QStringLiteral("velmar-report-profile");
constexpr int kFileVersion = 1;

QString IsoDate(const QDate& date) {
  return date.toString(Qt::ISODate);
}

// Midnight of the day in the history's wall-clock count. Made without a
// time zone: a day starts at its midnight whatever the zone does (a DST
// change at midnight moved a local one to 01:00), and a local time costs a
// time-zone lookup, once per group of a report of a hundred thousand.
qint64 DayStart(const QDate& date) {
  return DayKeyDates::LocalMs(QDateTime(date, QTime(0, 0), Qt::UTC));
}

}  // namespace

// ---- period ----

const QStringList& ReportPeriod::Names() {
  static const QStringList names{QStringLiteral("today"),      QStringLiteral("yesterday"),
                                 QStringLiteral("this-week"),  QStringLiteral("last-7-days"),
                                 QStringLiteral("this-month"), QStringLiteral("last-month"),
                                 QStringLiteral("range")};
  return names;
}

QString ReportPeriod::Name(PeriodKind kind) {
  return Names().at(static_cast<int>(kind));
}

std::optional<PeriodKind> ReportPeriod::KindFromName(const QString& name) {
  const qsizetype i = Names().indexOf(name);
  if (i < 0) {
    return std::nullopt;
  }
  return static_cast<PeriodKind>(i);
}

std::pair<qint64, qint64> ReportPeriod::Span(const QDateTime& now) const {
  const QDate today = now.date();
  switch (kind) {
    case PeriodKind::kToday:
      return {DayStart(today), DayStart(today.addDays(1))};
    case PeriodKind::kYesterday:
      return {DayStart(today.addDays(-1)), DayStart(today)};
    case PeriodKind::kThisWeek: {
      const QDate monday = today.addDays(1 - today.dayOfWeek());
      return {DayStart(monday), DayStart(monday.addDays(7))};
    }
    case PeriodKind::kLast7Days:
      return {DayStart(today.addDays(-6)), DayStart(today.addDays(1))};
    case PeriodKind::kThisMonth: {
      const QDate first(today.year(), today.month(), 1);
      return {DayStart(first), DayStart(first.addMonths(1))};
    }
    case PeriodKind::kLastMonth: {
      const QDate first(today.year(), today.month(), 1);
      return {DayStart(first.addMonths(-1)), DayStart(first)};
    }
    case PeriodKind::kRange:
      break;
  }
  return {DayStart(from), DayStart(to.addDays(1))};
}

QString ReportPeriod::Describe() const {
  static const QString words[] = {QStringLiteral("Today"),      QStringLiteral("Yesterday"),
                                  QStringLiteral("This week"),  QStringLiteral("Last 7 days"),
                                  QStringLiteral("This month"), QStringLiteral("Last month")};
  if (kind != PeriodKind::kRange) {
    return words[static_cast<int>(kind)];
  }
  return QStringLiteral("%1 to %2").arg(IsoDate(from), IsoDate(to));
}

// ---- grouping ----

const QStringList& Groupings::Names() {
  static const QStringList names{QStringLiteral("5min"),  QStringLiteral("hour"),
                                 QStringLiteral("day"),   QStringLiteral("week"),
                                 QStringLiteral("month"), QStringLiteral("program")};
  return names;
}

QString Groupings::Name(Grouping grouping) {
  return Names().at(static_cast<int>(grouping));
}

std::optional<Grouping> Groupings::FromName(const QString& name) {
  const qsizetype i = Names().indexOf(name);
  if (i < 0) {
    return std::nullopt;
  }
  return static_cast<Grouping>(i);
}

QString Groupings::Describe(Grouping grouping) {
  static const QString words[] = {QStringLiteral("5 minutes"), QStringLiteral("hour"),
                                  QStringLiteral("day"),       QStringLiteral("week"),
                                  QStringLiteral("month"),     QStringLiteral("program")};
  return words[static_cast<int>(grouping)];
}

namespace {

qint64 FloorTo(qint64 value, qint64 step) {
  const qint64 q = value / step;
  return (value % step < 0 ? q - 1 : q) * step;
}

}  // namespace

qint64 Groupings::Start(Grouping grouping, qint64 localMs) {
  switch (grouping) {
    case Grouping::kFiveMinutes:
      return FloorTo(localMs, 300000);
    case Grouping::kHour:
      return FloorTo(localMs, 3600000);
    case Grouping::kDay:
      return FloorTo(localMs, DayKeyDates::kMsPerDay);
    case Grouping::kWeek: {
      const QDate day = DayKeyDates::FromLocalMs(localMs).date();
      return DayStart(day.addDays(1 - day.dayOfWeek()));
    }
    case Grouping::kMonth: {
      const QDate day = DayKeyDates::FromLocalMs(localMs).date();
      return DayStart(QDate(day.year(), day.month(), 1));
    }
    case Grouping::kProgram:
      break;  // the whole period is one group
  }
  return localMs;
}

qint64 Groupings::Next(Grouping grouping, qint64 start) {
  switch (grouping) {
    case Grouping::kFiveMinutes:
      return start + 300000;
    case Grouping::kHour:
      return start + 3600000;
    case Grouping::kDay:
      return start + DayKeyDates::kMsPerDay;
    case Grouping::kWeek:
      return start + 7 * DayKeyDates::kMsPerDay;
    case Grouping::kMonth:
      return DayStart(DayKeyDates::FromLocalMs(start).date().addMonths(1));
    case Grouping::kProgram:
      return std::numeric_limits<qint64>::max();
  }
  return start + DayKeyDates::kMsPerDay;
}

// ---- flags ----

const QStringList& Flags::ValueNames() {
  static const QStringList names{QStringLiteral("down"),  QStringLiteral("up"),
                                 QStringLiteral("total"), QStringLiteral("average"),
                                 QStringLiteral("peak"),  QStringLiteral("active"),
                                 QStringLiteral("alarms")};
  return names;
}

const QStringList& Flags::FormatNames() {
  static const QStringList names{QStringLiteral("html"), QStringLiteral("csv"),
                                 QStringLiteral("json")};
  return names;
}

QStringList Flags::Names(unsigned flags, const QStringList& names) {
  QStringList out;
  for (int i = 0; i < names.size(); ++i) {
    if (flags & (1u << i)) {
      out << names[i];
    }
  }
  return out;
}

unsigned Flags::FromNames(const QStringList& list, const QStringList& names, const QString& what) {
  unsigned flags = 0;
  for (const QString& name : list) {
    const qsizetype i = names.indexOf(name);
    if (i < 0) {
      throw ProfileError(QStringLiteral("%1: '%2' is not one of %3")
                             .arg(what, name, names.join(QStringLiteral(", "))));
    }
    if (flags & (1u << i)) {
      throw ProfileError(QStringLiteral("%1: '%2' is named twice").arg(what, name));
    }
    flags |= 1u << i;
  }
  return flags;
}

// ---- quota ----

QString Quota::CountsName(QuotaCounts counts) {
  switch (counts) {
    case QuotaCounts::kDown:
      return QStringLiteral("down");
    case QuotaCounts::kUp:
      return QStringLiteral("up");
    case QuotaCounts::kTotal:
      break;
  }
  return QStringLiteral("total");
}

std::optional<QuotaCounts> Quota::CountsFromName(const QString& name) {
  for (QuotaCounts counts : {QuotaCounts::kTotal, QuotaCounts::kDown, QuotaCounts::kUp}) {
    if (CountsName(counts) == name) {
      return counts;
    }
  }
  return std::nullopt;
}

std::pair<QDate, QDate> Quota::MonthOf(const QDate& day) const {
  const auto startIn = [this](const QDate& anyDayOfMonth) {
    const QDate first(anyDayOfMonth.year(), anyDayOfMonth.month(), 1);
    return QDate(first.year(), first.month(), std::min(startDay, first.daysInMonth()));
  };
  QDate start = startIn(day);
  if (start > day) {
    start = startIn(day.addMonths(-1));
  }
  return {start, startIn(QDate(start.year(), start.month(), 1).addMonths(1))};
}

// ---- profile ----

void ReportProfile::Validate() const {
  if (period.kind == PeriodKind::kRange) {
    if (!period.from.isValid() || !period.to.isValid()) {
      throw ProfileError(QStringLiteral("A date range needs a first and a last day."));
    }
    if (period.to < period.from) {
      throw ProfileError(QStringLiteral("The date range ends (%1) before it starts (%2).")
                             .arg(IsoDate(period.to), IsoDate(period.from)));
    }
    // The most groups the range can touch: its length over the shortest
    // group, and one more where the range starts inside a group.
    static constexpr qint64 kShortest[] = {300000,
                                           3600000,
                                           DayKeyDates::kMsPerDay,
                                           7 * DayKeyDates::kMsPerDay,
                                           28 * DayKeyDates::kMsPerDay,
                                           std::numeric_limits<qint64>::max()};
    const qint64 length = (period.from.daysTo(period.to) + 1) * DayKeyDates::kMsPerDay;
    const qint64 groups = length / kShortest[static_cast<int>(grouping)] + 1;
    if (groups > kMaxGroups) {
      throw ProfileError(
          QStringLiteral("From %1 to %2 by %3 makes %4 groups, more than a report holds (%5): "
                         "choose a longer grouping or a shorter range.")
              .arg(IsoDate(period.from), IsoDate(period.to), Groupings::Describe(grouping))
              .arg(groups)
              .arg(kMaxGroups));
    }
  }
  if ((values & kAllValues) == 0) {
    throw ProfileError(QStringLiteral("Choose at least one value to show."));
  }
  if ((formats & kAllFormats) == 0) {
    throw ProfileError(QStringLiteral("Choose at least one output format."));
  }
  if (quota) {
    if (quota->bytes == 0) {
      throw ProfileError(QStringLiteral("A quota must be more than 0 bytes."));
    }
    if (quota->startDay < 1 || quota->startDay > 31) {
      throw ProfileError(QStringLiteral("The quota month must start on a day from 1 to 31."));
    }
  }
}

QByteArray ReportProfile::ToJson() const {
  QJsonObject root;
  root.insert(QStringLiteral("format"), kFileFormat);
  root.insert(QStringLiteral("version"), kFileVersion);
  QJsonObject p{{QStringLiteral("kind"), ReportPeriod::Name(period.kind)}};
  if (period.kind == PeriodKind::kRange) {
    p.insert(QStringLiteral("from"), IsoDate(period.from));
    p.insert(QStringLiteral("to"), IsoDate(period.to));
  }
  root.insert(QStringLiteral("period"), p);
  root.insert(QStringLiteral("grouping"), Groupings::Name(grouping));
  root.insert(QStringLiteral("values"),
              QJsonArray::fromStringList(Flags::Names(values, Flags::ValueNames())));
  if (quota) {
    // Bytes as a decimal text: a JSON number loses whole bytes past 2^53.
    root.insert(QStringLiteral("quota"),
                QJsonObject{{QStringLiteral("bytes"), QString::number(quota->bytes)},
                            {QStringLiteral("monthStartsOn"), quota->startDay},
                            {QStringLiteral("counts"), Quota::CountsName(quota->counts)}});
  }
  root.insert(QStringLiteral("formats"),
              QJsonArray::fromStringList(Flags::Names(formats, Flags::FormatNames())));
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

namespace {

[[noreturn]] void Bad(const QString& what) {
  throw ProfileError(QStringLiteral("not a report profile: ") + what);
}

QJsonValue Required(const QJsonObject& object, const QString& key, const QString& where) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined()) {
    Bad(QStringLiteral("%1\"%2\" is missing").arg(where, key));
  }
  return value;
}

QString Text(const QJsonObject& object, const QString& key, const QString& where = {}) {
  const QJsonValue value = Required(object, key, where);
  if (!value.isString()) {
    Bad(QStringLiteral("%1\"%2\" must be a text").arg(where, key));
  }
  return value.toString();
}

QStringList TextList(const QJsonObject& object, const QString& key) {
  const QJsonValue value = Required(object, key, {});
  if (!value.isArray()) {
    Bad(QStringLiteral("\"%1\" must be a list of texts").arg(key));
  }
  QStringList out;
  for (const QJsonValue& item : value.toArray()) {
    if (!item.isString()) {
      Bad(QStringLiteral("\"%1\" must be a list of texts").arg(key));
    }
    out << item.toString();
  }
  return out;
}

QDate Date(const QJsonObject& object, const QString& key) {
  const QString text = Text(object, key, QStringLiteral("period."));
  const QDate date = QDate::fromString(text, Qt::ISODate);
  if (!date.isValid() || IsoDate(date) != text) {
    Bad(QStringLiteral("period.\"%1\" must be a date like 2026-12-31, not '%2'").arg(key, text));
  }
  return date;
}

// The file's object, once its format and version are the ones this meter
// reads.
QJsonObject ProfileObject(const QByteArray& json) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(json, &error);
  if (error.error != QJsonParseError::NoError) {
    Bad(QStringLiteral("no JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset));
  }
  if (!document.isObject()) {
    Bad(QStringLiteral("the file holds no JSON object"));
  }
  const QJsonObject root = document.object();
  if (Text(root, QStringLiteral("format")) != kFileFormat) {
    Bad(QStringLiteral("\"format\" is not \"%1\"").arg(kFileFormat));
  }
  const QJsonValue version = Required(root, QStringLiteral("version"), {});
  if (!version.isDouble() || version.toDouble() != kFileVersion) {
    Bad(QStringLiteral("version %1 is not known (this meter reads version %2)")
            .arg(version.toVariant().toString())
            .arg(kFileVersion));
  }
  return root;
}

ReportPeriod PeriodOf(const QJsonObject& root) {
  const QJsonValue period = Required(root, QStringLiteral("period"), {});
  if (!period.isObject()) {
    Bad(QStringLiteral("\"period\" must be an object"));
  }
  const QJsonObject p = period.toObject();
  const QString kind = Text(p, QStringLiteral("kind"), QStringLiteral("period."));
  const std::optional<PeriodKind> periodKind = ReportPeriod::KindFromName(kind);
  if (!periodKind) {
    Bad(QStringLiteral("period \"%1\" is not one of %2")
            .arg(kind, ReportPeriod::Names().join(QStringLiteral(", "))));
  }
  ReportPeriod result;
  result.kind = *periodKind;
  if (*periodKind == PeriodKind::kRange) {
    result.from = Date(p, QStringLiteral("from"));
    result.to = Date(p, QStringLiteral("to"));
  }
  return result;
}

Grouping GroupingOf(const QJsonObject& root) {
  const QString grouping = Text(root, QStringLiteral("grouping"));
  const std::optional<Grouping> g = Groupings::FromName(grouping);
  if (!g) {
    Bad(QStringLiteral("grouping \"%1\" is not one of %2")
            .arg(grouping, Groupings::Names().join(QStringLiteral(", "))));
  }
  return *g;
}

// None when the file has no quota.
std::optional<Quota> QuotaOf(const QJsonObject& root) {
  const QJsonValue quota = root.value(QStringLiteral("quota"));
  if (quota.isUndefined() || quota.isNull()) {
    return std::nullopt;
  }
  if (!quota.isObject()) {
    Bad(QStringLiteral("\"quota\" must be an object"));
  }
  const QJsonObject q = quota.toObject();
  Quota parsed;
  const QString bytes = Text(q, QStringLiteral("bytes"), QStringLiteral("quota."));
  bool ok = false;
  parsed.bytes = bytes.toULongLong(&ok);
  if (!ok || !bytes.at(0).isDigit()) {
    Bad(QStringLiteral("quota.\"bytes\" must be a whole number, not '%1'").arg(bytes));
  }
  const QJsonValue day = Required(q, QStringLiteral("monthStartsOn"), QStringLiteral("quota."));
  if (!day.isDouble() || day.toDouble() != std::floor(day.toDouble())) {
    Bad(QStringLiteral("quota.\"monthStartsOn\" must be a day of the month"));
  }
  parsed.startDay = static_cast<int>(std::clamp(day.toDouble(), -1.0, 99.0));
  const QString counts = Text(q, QStringLiteral("counts"), QStringLiteral("quota."));
  const std::optional<QuotaCounts> c = Quota::CountsFromName(counts);
  if (!c) {
    Bad(QStringLiteral("quota.\"counts\" \"%1\" is not one of total, down, up").arg(counts));
  }
  parsed.counts = *c;
  return parsed;
}

}  // namespace

ReportProfile ReportProfile::FromJson(const QByteArray& json) {
  const QJsonObject root = ProfileObject(json);
  ReportProfile profile;
  profile.period = PeriodOf(root);
  profile.grouping = GroupingOf(root);
  try {
    profile.values = Flags::FromNames(TextList(root, QStringLiteral("values")), Flags::ValueNames(),
                                      QStringLiteral("values"));
    profile.formats = Flags::FromNames(TextList(root, QStringLiteral("formats")),
                                       Flags::FormatNames(), QStringLiteral("formats"));
  } catch (const ProfileError& e) {
    Bad(e.Message());
  }
  profile.quota = QuotaOf(root);
  try {
    profile.Validate();
  } catch (const ProfileError& e) {
    Bad(e.Message());
  }
  return profile;
}

uint64_t ParseSize(const QString& text, const QString& defaultUnit) {
  static const QRegularExpression pattern(
      QStringLiteral("^\\s*([0-9]+(?:[.,][0-9]+)?)\\s*([a-zA-Z]*)\\s*$"));
  const QRegularExpressionMatch m = pattern.match(text);
  if (!m.hasMatch()) {
    throw ProfileError(
        QStringLiteral("'%1' is not a size: give a number, e.g. 50 or 1.5 TB").arg(text));
  }
  QString number = m.captured(1);
  number.replace(QLatin1Char(','), QLatin1Char('.'));
  const QString unit = (m.captured(2).isEmpty() ? defaultUnit : m.captured(2)).toUpper();
  static const QStringList units{QStringLiteral("B"), QStringLiteral("KB"), QStringLiteral("MB"),
                                 QStringLiteral("GB"), QStringLiteral("TB")};
  const qsizetype power = units.indexOf(unit);
  if (power < 0) {
    throw ProfileError(
        QStringLiteral("'%1' is not a unit of size: use B, KB, MB, GB or TB").arg(m.captured(2)));
  }
  const double bytes = number.toDouble() * std::pow(1000.0, static_cast<double>(power));
  if (!(bytes >= 1) || bytes >= 9.2e18) {
    throw ProfileError(QStringLiteral("'%1' is not a size a quota can have").arg(text));
  }
  return static_cast<uint64_t>(std::llround(bytes));
}

}  // namespace velmar
