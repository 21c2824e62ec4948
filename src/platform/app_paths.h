#pragma once

#include <QString>

namespace velmar {

// The directory of the running executable, where the settings file, the
// agent library and the help live. $VELMAR_APP_DIR overrides it for tests.
QString ExecutableDir();

}  // namespace velmar
