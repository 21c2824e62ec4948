#include "measure/interface_names.h"

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
  return alias.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, alias);
}

}  // namespace velmar
