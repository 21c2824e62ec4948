#include "interfaces/interface_names.h"

#include <QHash>

namespace velmar {

QStringList InterfaceNames(const std::vector<MibRow>& rows) {
  QHash<QString, int> uses;
  for (const MibRow& row : rows) {
    ++uses[row.BaseName()];
  }
  QStringList names;
  names.reserve(static_cast<qsizetype>(rows.size()));
  for (const MibRow& row : rows) {
    const QString& base = row.BaseName();
    names << (uses.value(base) > 1 ? QStringLiteral("%1 #%2").arg(base).arg(row.IfIndex) : base);
  }
  return names;
}

QString WithAlias(const QString& name, const QString& alias) {
  // An alias that repeats the name (some devices copy one into the other)
  // says nothing new.
  return alias.isEmpty() || alias == name ? name : QStringLiteral("%1 (%2)").arg(name, alias);
}

}  // namespace velmar
