#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

namespace velmar {

// The meter's own pictures, drawn rather than shipped: the splash, the
// tray icon, the meter background behind the indicators and the two lock
// pictures.
class MeterArt {
 public:
  static const QColor kWindowColor;  // 240, 231, 198
  static const QColor kPanelColor;   // 247, 225, 174

  static QImage Splash(QSize size);
  static QImage TrayIcon(int size);
  static QImage MeterBackground(QSize size);
  static QImage Lock(bool closed, int size);
  // The picture on the left of each setup wizard page (0 to 7; other
  // numbers get the welcome picture) and the detailed setup's picture.
  static QImage WizardPicture(int page, QSize size);
  static QImage SetupPicture(QSize size);
};

}  // namespace velmar
