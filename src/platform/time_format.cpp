#include "platform/time_format.h"

namespace velmar {

namespace {
bool InWord(QChar c) {
  return c.isLetterOrNumber() || c == QLatin1Char('_');
}
}  // namespace

QString WithoutTimeZone(const QString& format) {
  QString out;
  out.reserve(format.size());
  for (qsizetype i = 0; i < format.size();) {
    if (format[i] == QLatin1Char('t') && (i == 0 || !InWord(format[i - 1]))) {
      qsizetype end = i;
      while (end < format.size() && format[end] == QLatin1Char('t')) {
        ++end;
      }
      if (end == format.size() || !InWord(format[end])) {
        while (!out.isEmpty() && out.back().isSpace()) {
          out.chop(1);
        }
        i = end;
        continue;
      }
    }
    out += format[i];
    ++i;
  }
  return out;
}

}  // namespace velmar
