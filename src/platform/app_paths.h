#pragma once

#include <QString>

namespace velmar {

// The directory of the running executable. $VELMAR_APP_DIR overrides it
// for tests.
QString ExecutableDir();

// What the meter ships beside itself is found in one of two places: beside
// the executable (the build folder, a portable copy), or where an installed
// tree keeps it relative to the executable's folder (bin/ -> lib/velmar/,
// share/velmar/). The first that exists wins; when neither does, the path
// beside the executable is returned, so a message names the usual place.

// An agent library by file name, e.g. "libmib2.so".
QString AgentLibraryPath(const QString& fileName);
// The user manual's start page, help/index.html.
QString HelpIndexPath();
// The folder holding the icon theme (share/icons) of an installed tree or
// of the build folder; empty when there is none.
QString IconThemeDir();

// True when the executable is part of an installed tree (its shared data
// folder exists), as opposed to a build folder or a portable copy.
bool RunsFromInstalledTree();

}  // namespace velmar
