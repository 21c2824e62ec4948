#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "interfaces/mib_row.h"

namespace velmar {

// The names interfaces are shown and chosen by: ifName where the agent has
// one, else ifDescr, uncut; where two rows share a name, " #ifIndex"
// tells them apart. One name per row, in the rows' order.
QStringList InterfaceNames(const std::vector<MibRow>& rows);

// A name with the interface's ifAlias beside it in brackets, when it has one
// other than the name.
QString WithAlias(const QString& name, const QString& alias);

}  // namespace velmar
