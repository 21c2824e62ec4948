#include "day_key_dates.h"

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

QString DayKeyDates::DateTimeText(const QDateTime& moment) const {
  const QString date = Name(moment.date());
  if (moment.time() == QTime(0, 0)) {
    return date;
  }
  return date + QLatin1Char(' ') +
         moment.time().toString(QLocale::system()
                                    .timeFormat(QLocale::LongFormat)
                                    .remove(QRegularExpression(QStringLiteral("\\s*t+"))));
}

namespace {

const QDate kOleEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;

}  // namespace

double DayKeyDates::OleDate(const QDateTime& moment) {
  return static_cast<double>(kOleEpoch.daysTo(moment.date())) +
         moment.time().msecsSinceStartOfDay() / kMsPerDay;
}

QDateTime DayKeyDates::FromOleDate(double ole) {
  // Beyond a few hundred million years the day count no longer fits the
  // integer it is cast to.
  if (!std::isfinite(ole) || std::fabs(ole) > 1e15) {
    return {};
  }
  const double days = std::floor(ole);
  const QDate date = kOleEpoch.addDays(static_cast<qint64>(days));
  const QTime time = QTime(0, 0).addMSecs(static_cast<int>(std::lround((ole - days) * kMsPerDay)));
  return QDateTime(date, time);
}

}  // namespace velmar
