#include "history/day_key_dates.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace velmar {

DayKeyDates::DayKeyDates() {
  Format = [] { return QLocale::system().dateFormat(QLocale::ShortFormat); };
}

QString DayKeyDates::Name(const QDate& date) const {
  return date.toString(Format());
}

std::optional<QDate> DayKeyDates::Parse(const QString& name) const {
  const QString format = Format();
  QDate date = QDate::fromString(name, format);
  if (!date.isValid()) {
    return std::nullopt;
  }
  // Qt reads "yy" as 19yy; a meter's history is recent, so take the year
  // of that century nearest to today.
  static const QRegularExpression fourDigits(QStringLiteral("yyyy"));
  if (format.contains(QLatin1String("yy")) && !format.contains(fourDigits)) {
    const int today = Now().date().year();
    while (date.year() < today - 50) {
      date = date.addYears(100);
    }
    while (date.year() > today + 50) {
      date = date.addYears(-100);
    }
  }
  // A name only counts when it is exactly what the format writes, so
  // "08.12.2026 " or "8.12.26x" are kept rather than misread.
  if (date.toString(format) != name) {
    return std::nullopt;
  }
  return date;
}

namespace {

// The long time format without its time zone part.
QString LongTimeFormat() {
  return QLocale::system()
      .timeFormat(QLocale::LongFormat)
      .remove(QRegularExpression(QStringLiteral("\\s*t+")));
}

}  // namespace

QString DayKeyDates::DateTimeText(const QDateTime& moment) const {
  const QString date = Name(moment.date());
  if (moment.time() == QTime(0, 0)) {
    return date;
  }
  return date + QLatin1Char(' ') + moment.time().toString(LongTimeFormat());
}

std::optional<QDateTime> DayKeyDates::ParseDateTimeText(const QString& text) const {
  if (const std::optional<QDate> date = Parse(text)) {
    return QDateTime(*date, QTime(0, 0));
  }
  // The date format may hold blanks itself: try each blank as the one
  // between the date and the time.
  const QString timeFormat = LongTimeFormat();
  for (qsizetype blank = text.indexOf(QLatin1Char(' ')); blank > 0;
       blank = text.indexOf(QLatin1Char(' '), blank + 1)) {
    const std::optional<QDate> date = Parse(text.left(blank));
    if (!date) {
      continue;
    }
    const QTime time = QTime::fromString(text.mid(blank + 1), timeFormat);
    if (time.isValid()) {
      return QDateTime(*date, time);
    }
  }
  return std::nullopt;
}

namespace {

const QDate kOleEpoch(1899, 12, 30);

}  // namespace

double DayKeyDates::OleDate(const QDateTime& moment) {
  return static_cast<double>(kOleEpoch.daysTo(moment.date())) +
         moment.time().msecsSinceStartOfDay() / static_cast<double>(kMsPerDay);
}

QDateTime DayKeyDates::FromOleDate(double ole) {
  // Beyond a few hundred million years the day count no longer fits the
  // integer it is cast to.
  if (!std::isfinite(ole) || std::fabs(ole) > 1e15) {
    return {};
  }
  const double days = std::floor(ole);
  const QDate date = kOleEpoch.addDays(static_cast<qint64>(days));
  const QTime time = QTime(0, 0).addMSecs(
      static_cast<int>(std::lround((ole - days) * static_cast<double>(kMsPerDay))));
  return QDateTime(date, time);
}

qint64 DayKeyDates::LocalMs(const QDateTime& moment) {
  return kOleEpoch.daysTo(moment.date()) * kMsPerDay + moment.time().msecsSinceStartOfDay();
}

QDateTime DayKeyDates::FromLocalMs(qint64 ms) {
  const qint64 days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  // Marked UTC only so that no time zone is applied: a wall-clock time a
  // DST change skips is still a valid reading.
  return QDateTime(kOleEpoch.addDays(days),
                   QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms - days * kMsPerDay)),
                   Qt::UTC);
}

std::optional<qint64> DayKeyDates::LocalMsFromOle(double ole) {
  // Within a few million years of the epoch, like FromOleDate.
  if (!std::isfinite(ole) || std::fabs(ole) > 1e9) {
    return std::nullopt;
  }
  const double days = std::floor(ole);
  // The fraction counts forward from the day's midnight (before the epoch
  // too), to the millisecond as FromOleDate reads it.
  return static_cast<qint64>(days) * kMsPerDay +
         std::llround((ole - days) * static_cast<double>(kMsPerDay));
}

}  // namespace velmar
