#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace velmar {

// Day keys are named by the local date in the user's short date format and
// turned back into dates with the same format. Both the clock and the
// format are replaceable so midnight and a change of format can be tested.
class DayKeyDates {
 public:
  DayKeyDates();

  // The clock the day keys are taken from; tests fix it.
  std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };
  // A QDate format string, e.g. "M/d/yy"; by default the system locale's
  // short date format, read at each use (the user may change it).
  std::function<QString()> Format;

  QString Name(const QDate& date) const;
  // The date a key name stands for; nullopt when it is not a date in the
  // current format. Two-digit years are taken within 50 years of today.
  std::optional<QDate> Parse(const QString& name) const;

  // The alarm log's value names: short date, a blank, long time (no time
  // part at exactly midnight).
  QString DateTimeText(const QDateTime& moment) const;
  // And back; nullopt when the text is not one in the current formats.
  std::optional<QDateTime> ParseDateTimeText(const QString& text) const;

  // The OLE Automation date: days since 30 December 1899, the fraction the
  // time of day.
  static double OleDate(const QDateTime& moment);
  // And back, to the millisecond; an invalid QDateTime for a value that is
  // no date.
  static QDateTime FromOleDate(double ole);

  // Local wall-clock time as a plain count of milliseconds since the OLE
  // epoch, the form the history stores it in: no time zone, so a DST change
  // neither loses nor repeats a record. Cheap to compare and to group.
  static qint64 LocalMs(const QDateTime& moment);
  // The wall-clock reading back, as a QDateTime without a time zone (its
  // date() and time() are the reading).
  static QDateTime FromLocalMs(qint64 ms);
  // The same count from a stored OLE date; nullopt for a value that is no date.
  static std::optional<qint64> LocalMsFromOle(double ole);
  static constexpr qint64 kMsPerDay = 86400000;
};

}  // namespace velmar
