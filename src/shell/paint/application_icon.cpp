#include "shell/paint/application_icon.h"

#include <QPixmap>

#include "platform/app_paths.h"
#include "platform/install_layout.h"
#include "shell/paint/meter_art.h"

namespace velmar {

QIcon ApplicationIcon() {
  // An installed tree under another prefix than the desktop's data folders
  // (or the build folder) still finds its own icons.
  const QString themeDir = IconThemeDir();
  if (!themeDir.isEmpty() && !QIcon::themeSearchPaths().contains(themeDir)) {
    QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << themeDir);
  }
  const QString name = QString::fromLatin1(install_layout::kIconName);
  // The picture drawn in code only where the theme has none: its four
  // sizes would otherwise stay in memory unused.
  if (QIcon::hasThemeIcon(name)) {
    return QIcon::fromTheme(name);
  }
  QIcon drawn;
  for (const int size : {16, 22, 32, 48}) {
    drawn.addPixmap(QPixmap::fromImage(MeterArt::TrayIcon(size)));
  }
  return drawn;
}

}  // namespace velmar
