#pragma once

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QSize>

namespace velmar {

// The meter's own pictures, drawn rather than shipped: the splash, the
// tray icon, the meter background behind the indicators and the two lock
// pictures. Each is drawn as vectors at the size and device pixel ratio it
// is shown at; sizes larger than a picture's design size (the window grew
// for a larger font) scale the whole drawing, its captions included.
class MeterArt {
 public:
  static const QColor kWindowColor;  // 240, 231, 198
  static const QColor kPanelColor;   // 247, 225, 174
  static constexpr QSize kMeterBackgroundSize{259, 160};
  static constexpr QSize kSetupPictureSize{100, 112};

  // The meter's own surfaces: the window around the tabs and the panel of
  // displays below them.
  enum class Surface { kWindow, kPanel };
  // `theme` with the surface's background and the text colours that go
  // with it. In a light theme the surfaces keep their beige with black
  // text; in a dark one they are dark shades of the same hue with light
  // text, so the theme's own controls on them (tab pages, buttons) stay
  // readable too. Disabled text is dimmed in both.
  static QPalette Skin(const QPalette& theme, Surface surface);

  static QImage Splash(QSize size, qreal ratio = 1);
  static QImage TrayIcon(int size);
  static QImage MeterBackground(QSize size, qreal ratio = 1);
  // The lock for a button whose face is `face`: the shackle keeps a 3:1
  // contrast against it, so it shows on a dark button as on a light one.
  static QImage Lock(bool closed, int size, const QColor& face = QColor(239, 239, 239));
  // The picture on the left of each setup wizard page (0 to 7; other
  // numbers get the welcome picture) and the detailed setup's picture.
  static QImage WizardPicture(int page, QSize size, qreal ratio = 1);
  static QImage SetupPicture(QSize size, qreal ratio = 1);
};

}  // namespace velmar
