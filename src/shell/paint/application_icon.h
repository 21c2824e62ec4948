#pragma once

#include <QIcon>

namespace velmar {

// The meter's icon for the window and the tray: "velmar" from the desktop's
// icon theme (the installed tree's own hicolor icons, or a theme that
// restyles it), else the picture drawn in code.
QIcon ApplicationIcon();

}  // namespace velmar
