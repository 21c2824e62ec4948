#include "net/http_headers.h"

namespace velmar {

QString HttpHeaders::GetFieldValue(const QString& name) const {
  const QString key = (name.endsWith(u':') ? name : name + u':').toUpper();
  for (qsizetype i = 0; i < size(); ++i) {
    const QString& line = at(i);
    if (!line.toUpper().startsWith(key)) {
      continue;
    }
    QString value = line.mid(line.indexOf(u':') + 1).trimmed();
    for (qsizetype j = i + 1; j < size(); ++j) {
      const QString& next = at(j);
      if (!next.startsWith(u' ') && !next.startsWith(u'\t')) {
        break;
      }
      value += u' ' + next.trimmed();
    }
    return value;
  }
  return QString();
}

}  // namespace velmar
