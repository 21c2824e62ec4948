#include "report/report_text.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <array>
#include <cmath>
#include <limits>

#include "history/day_key_dates.h"
#include "report/report_profile.h"

namespace velmar {

namespace {

int ZonedOffset(const QDateTime& local) {
  QDateTime zoned(local.date(), local.time(), Qt::LocalTime);
  if (!zoned.isValid()) {
    // In the gap of a change to summer time: the offset before it.
    zoned = QDateTime(local.date(), local.time().addSecs(-3600), Qt::LocalTime);
  }
  return zoned.isValid() ? zoned.offsetFromUtc() : 0;
}

// The UTC offset of a local time. Asking the time zone costs microseconds,
// and a year of five-minute groups asks 200,000 times: a day whose offset
// is the same at its start and its end has it all day.
int OffsetAt(qint64 localMs, const QDateTime& local) {
  thread_local qint64 cachedDay = std::numeric_limits<qint64>::min();
  thread_local int dayOffset = 0;
  thread_local bool wholeDay = false;
  const qint64 day = Groupings::Start(Grouping::kDay, localMs);
  if (day != cachedDay) {
    cachedDay = day;
    dayOffset = ZonedOffset(DayKeyDates::FromLocalMs(day));
    wholeDay = dayOffset == ZonedOffset(DayKeyDates::FromLocalMs(day + DayKeyDates::kMsPerDay - 1));
  }
  return wholeDay ? dayOffset : ZonedOffset(local);
}

}  // namespace

QString ReportText::IsoTime(qint64 localMs) {
  const QDateTime local = DayKeyDates::FromLocalMs(localMs);
  const int offset = OffsetAt(localMs, local);
  const int minutes = std::abs(offset) / 60;
  return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
         QStringLiteral("%1%2:%3")
             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString ReportText::ShortTime(qint64 localMs) {
  return DayKeyDates::FromLocalMs(localMs).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString ReportText::Day(qint64 localMs) {
  return QLocale::c().toString(DayKeyDates::FromLocalMs(localMs).date(),
                               QStringLiteral("ddd d MMM yyyy"));
}

QString ReportText::Bytes(uint64_t bytes) {
  static const std::array<const char*, 6> units{"kB", "MB", "GB", "TB", "PB", "EB"};
  if (bytes < 1000) {
    return QStringLiteral("%1 B").arg(bytes);
  }
  double value = static_cast<double>(bytes) / 1000.0;
  size_t unit = 0;
  // A value that rounds to 1000.00 takes the next unit.
  while (value >= 999.995 && unit + 1 < units.size()) {
    value /= 1000.0;
    ++unit;
  }
  return QStringLiteral("%1 %2").arg(value, 0, 'f', 2).arg(QLatin1String(units[unit]));
}

QString ReportText::Speed(double bytesPerSecond, int kilobitMode) {
  const double kilobit = kilobitMode == 1 ? 1024.0 : 1000.0;
  double value = bytesPerSecond * 8.0 / kilobit;
  const char* unit = "kbit/s";
  if (value >= 999.995) {
    value /= kilobit;
    unit = "Mbit/s";
    if (value >= 999.995) {
      value /= kilobit;
      unit = "Gbit/s";
    }
  }
  return QStringLiteral("%1 %2").arg(value, 0, 'f', 2).arg(QLatin1String(unit));
}

QString ReportText::Duration(qint64 ms) {
  const qint64 minutes = (std::max<qint64>(ms, 0) + 30000) / 60000;
  if (minutes < 60) {
    return QStringLiteral("%1 min").arg(minutes);
  }
  if (minutes < 24 * 60) {
    return QStringLiteral("%1 h %2 min")
        .arg(minutes / 60)
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
  }
  const qint64 hours = (minutes + 30) / 60;
  return QStringLiteral("%1 d %2 h").arg(hours / 24).arg(hours % 24, 2, 10, QLatin1Char('0'));
}

QString ReportText::Html(QStringView text) {
  QString out;
  out.reserve(text.size() + 16);
  for (const QChar c : text) {
    switch (c.unicode()) {
      case '&':
        out += QLatin1String("&amp;");
        break;
      case '<':
        out += QLatin1String("&lt;");
        break;
      case '>':
        out += QLatin1String("&gt;");
        break;
      case '"':
        out += QLatin1String("&quot;");
        break;
      case '\'':
        out += QLatin1String("&#39;");
        break;
      default:
        // Control characters are not allowed in HTML or XML text.
        if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n')) {
          out += QChar(0xFFFD);
        } else {
          out += c;
        }
    }
  }
  return out;
}

QString ReportText::CsvField(QStringView text) {
  QString field = text.toString();
  if (!field.isEmpty() && QStringView(u"=+-@").contains(field.front()) &&
      !(field.size() > 1 && field.at(1).isDigit())) {
    field.prepend(QLatin1Char('\''));
  }
  if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
      field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))) {
    field.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
  }
  return field;
}

}  // namespace velmar
