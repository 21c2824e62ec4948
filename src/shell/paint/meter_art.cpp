#include "shell/paint/meter_art.h"

#include "platform/paint/contrast.h"
#include "platform/paint/hidpi_image.h"
#include "wizard/paint/wizard_art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

namespace velmar {

const QColor MeterArt::kWindowColor(240, 231, 198);
const QColor MeterArt::kPanelColor(247, 225, 174);

namespace {

// The splash's olive, which the setup pictures share; deep enough at the
// bottom for the light captions to keep a 4.5:1 contrast.
const QColor kOliveTop(40, 60, 30);
const QColor kOliveBottom(96, 96, 0);

// The surfaces' dark shades and the text colours of both themes.
const QColor kDarkWindowColor(52, 48, 36);
const QColor kDarkPanelColor(64, 57, 38);
const QColor kDarkText(240, 231, 198);
const QColor kDarkDisabledText(150, 142, 118);
const QColor kLightText(0, 0, 0);
const QColor kLightDisabledText(128, 120, 96);

// A transparent picture to draw an icon or setup picture on.
QImage TransparentCanvas(QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// The finished picture, for keeping: an image keeps the paint engine it
// was painted with (some 20 kB) for its whole life, a copy has none.
QImage Kept(QPainter& painter, const QImage& image) {
  painter.end();
  return image.copy();
}

QLinearGradient Vertical(double height, QColor top, QColor bottom) {
  QLinearGradient g(0, 0, 0, height);
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  return g;
}

// The dial's twenty steps of 9 degrees, from its left end (step 0) over
// the top (10) to its right end (20), come from a table, not from std::sin
// and std::cos: the splash draws a dial at start, and libm's trigonometry
// would keep some 180 kB of its code and tables in the window's memory.
constexpr int kDialSteps = 20;
constexpr double kSineOfStep[] = {0.0,
                                  0.15643446504023087,
                                  0.3090169943749474,
                                  0.45399049973954675,
                                  0.5877852522924731,
                                  0.7071067811865475,
                                  0.8090169943749475,
                                  0.8910065241883678,
                                  0.9510565162951535,
                                  0.9876883405951378,
                                  1.0};
static_assert([] {
  for (int k = 0; k <= kDialSteps / 2; ++k) {
    const double one = kSineOfStep[k] * kSineOfStep[k] +
                       kSineOfStep[kDialSteps / 2 - k] * kSineOfStep[kDialSteps / 2 - k];
    if (one < 1 - 1e-12 || one > 1 + 1e-12 || (k > 0 && kSineOfStep[k] <= kSineOfStep[k - 1])) {
      return false;
    }
  }
  return true;
}());

QPointF DialPoint(QPointF centre, double radius, int step) {
  constexpr int half = kDialSteps / 2;
  const double sine = kSineOfStep[step <= half ? step : kDialSteps - step];
  const double cosine = step <= half ? kSineOfStep[half - step] : -kSineOfStep[step - half];
  return {centre.x() - radius * cosine, centre.y() - radius * sine};
}

// A half-round dial with a needle on one of its steps.
void Gauge(QPainter& p, QRectF area, int needleStep) {
  const QPointF centre(area.center().x(), area.bottom());
  const double radius = std::min(area.width() / 2, area.height());
  p.setPen(QPen(QColor(60, 60, 40), radius / 12));
  p.setBrush(Qt::NoBrush);
  const QRectF dial(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  p.drawArc(dial, 0, 180 * 16);
  // A tick every other step, the last two red.
  for (int step = 0; step <= kDialSteps; step += 2) {
    p.setPen(QPen(step >= 16 ? QColor(200, 30, 30) : QColor(60, 60, 40), radius / 20));
    p.drawLine(DialPoint(centre, radius * 0.8, step), DialPoint(centre, radius, step));
  }
  p.setPen(QPen(QColor(200, 30, 30), radius / 10, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(centre, DialPoint(centre, radius * 0.9, needleStep));
}

}  // namespace

QPalette MeterArt::Skin(const QPalette& theme, Surface surface) {
  const bool dark = IsDark(theme.color(QPalette::Window), theme.color(QPalette::WindowText));
  const QColor background = surface == Surface::kPanel ? (dark ? kDarkPanelColor : kPanelColor)
                                                       : (dark ? kDarkWindowColor : kWindowColor);
  QPalette skin = theme;
  skin.setColor(QPalette::Window, background);
  skin.setColor(QPalette::WindowText, dark ? kDarkText : kLightText);
  skin.setColor(QPalette::Disabled, QPalette::WindowText,
                dark ? kDarkDisabledText : kLightDisabledText);
  return skin;
}

QImage MeterArt::Splash(QSize size, qreal ratio) {
  QImage image = ImageAtRatio(size, ratio, QImage::Format_RGB32);
  if (image.isNull()) {
    return image;
  }
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(QRect(QPoint(0, 0), size), Vertical(size.height(), kOliveTop, kOliveBottom));
  Gauge(p,
        QRectF(size.width() * 0.3, size.height() * 0.12, size.width() * 0.4, size.height() * 0.4),
        14);
  p.setPen(QColor(0, 255, 0));
  // The regular face: the splash is the only text drawn in bold at start,
  // and the bold face would stay mapped, some 250 kB, from then on.
  QFont title(QStringLiteral("DejaVu Sans"), 26);
  p.setFont(title);
  p.drawText(QRect(0, size.height() / 2, size.width(), size.height() / 4), Qt::AlignCenter,
             QStringLiteral("Velmar 2000"));
  QFont sub(QStringLiteral("DejaVu Sans"), 10);
  p.setFont(sub);
  p.setPen(MeterArt::kWindowColor);
  p.drawText(QRect(0, size.height() * 3 / 4, size.width(), size.height() / 5), Qt::AlignCenter,
             QStringLiteral("Bandwidth meter  V. 4.0.9"));
  return Kept(p, image);
}

QImage MeterArt::TrayIcon(int size) {
  QImage image = TransparentCanvas(QSize(size, size));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(kOliveBottom);
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
  // Three bars: down, average, up.
  const double w = size / 5.0;
  const double heights[] = {0.55, 0.35, 0.75};
  const QColor colours[] = {QColor(255, 40, 40), QColor(255, 255, 0), QColor(0, 255, 0)};
  for (int i = 0; i < 3; ++i) {
    const double h = size * heights[i];
    p.setBrush(colours[i]);
    p.drawRect(QRectF(w * (0.5 + 1.5 * i), size * 0.88 - h, w, h));
  }
  return Kept(p, image);
}

QImage MeterArt::MeterBackground(QSize size, qreal ratio) {
  QImage image = ImageAtRatio(size, ratio, QImage::Format_RGB32);
  if (image.isNull()) {
    return image;
  }
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  WizardArt::ScaleToDesign(p, image, kMeterBackgroundSize, size);
  p.fillRect(QRect(QPoint(0, 0), size),
             Vertical(size.height(), QColor(70, 70, 50), QColor(30, 30, 20)));
  // A bezel around the indicator bay.
  p.setPen(QPen(QColor(180, 170, 120), 2));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(3, 3, size.width() - 6, size.height() - 6), 8, 8);
  p.setPen(QColor(200, 190, 140));
  QFont f(QStringLiteral("DejaVu Sans"), 7, QFont::Bold);
  p.setFont(f);
  const int third = size.width() / 3;
  p.drawText(QRect(0, size.height() - 18, third, 14), Qt::AlignCenter, QStringLiteral("DOWN"));
  p.drawText(QRect(third, size.height() - 18, third, 14), Qt::AlignCenter, QStringLiteral("AVG"));
  p.drawText(QRect(2 * third, size.height() - 18, third, 14), Qt::AlignCenter,
             QStringLiteral("UP"));
  return Kept(p, image);
}

QImage MeterArt::Lock(bool closed, int size, const QColor& face) {
  QImage image = TransparentCanvas(QSize(size, size));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  // The shackle: closed sits in the body, open swings up and aside.
  p.setPen(QPen(Readable(QColor(90, 90, 90), face, 3.0), s / 9, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  QPainterPath shackle;
  const double left = closed ? s * 0.3 : s * 0.45;
  const double lift = closed ? 0 : s * 0.12;
  shackle.moveTo(left, s * 0.5 - lift);
  shackle.lineTo(left, s * 0.3 - lift);
  shackle.arcTo(QRectF(left, s * 0.1 - lift, s * 0.4, s * 0.4), 180, -180);
  shackle.lineTo(left + s * 0.4, closed ? s * 0.5 : s * 0.3 - lift);
  p.drawPath(shackle);
  p.setPen(Qt::NoPen);
  p.setBrush(closed ? QColor(200, 160, 0) : QColor(150, 150, 150));
  p.drawRoundedRect(QRectF(s * 0.2, s * 0.45, s * 0.6, s * 0.45), s / 12, s / 12);
  p.setBrush(QColor(60, 60, 60));
  p.drawEllipse(QPointF(s * 0.5, s * 0.65), s * 0.06, s * 0.06);
  return Kept(p, image);
}

namespace {

void Window(QPainter& p, QRectF r, QColor title) {
  p.setPen(QPen(QColor(30, 30, 20), 1.5));
  p.setBrush(MeterArt::kWindowColor);
  p.drawRect(r);
  p.setBrush(title);
  p.drawRect(QRectF(r.left(), r.top(), r.width(), r.height() * 0.18));
}

void Computer(QPainter& p, QRectF r) {
  p.setPen(QPen(QColor(30, 30, 20), 1.5));
  p.setBrush(QColor(200, 200, 190));
  p.drawRoundedRect(QRectF(r.left(), r.top(), r.width(), r.height() * 0.7), 3, 3);
  p.setBrush(QColor(20, 40, 20));
  p.drawRect(r.adjusted(r.width() * 0.1, r.height() * 0.08, -r.width() * 0.1, -r.height() * 0.38));
  p.setBrush(QColor(200, 200, 190));
  p.drawRect(QRectF(r.center().x() - r.width() * 0.3, r.bottom() - r.height() * 0.2,
                    r.width() * 0.6, r.height() * 0.2));
}

void Digits(QPainter& p, QRectF r, const QString& text) {
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawRoundedRect(r, 3, 3);
  p.setPen(QColor(0, 255, 0));
  QFont f(QStringLiteral("DejaVu Sans Mono"), 13, QFont::Bold);
  p.setFont(f);
  p.drawText(r, Qt::AlignCenter, text);
}

// The setup wizard's pages, one drawing each.

void DrawWelcome(QPainter& p, double w, double h) {
  Gauge(p, QRectF(w * 0.1, h * 0.15, w * 0.8, h * 0.35), 14);
  WizardArt::Caption(p, QRectF(0, h * 0.55, w, h * 0.14), QStringLiteral("Velmar"));
}

void DrawWindowPage(QPainter& p, double w, double h) {
  // A window behind and one pinned in front of it.
  Window(p, QRectF(w * 0.12, h * 0.18, w * 0.55, h * 0.35), QColor(120, 120, 120));
  Window(p, QRectF(w * 0.33, h * 0.38, w * 0.55, h * 0.35), QColor(200, 30, 30));
  Gauge(p, QRectF(w * 0.45, h * 0.5, w * 0.3, h * 0.15), 12);
}

void DrawProxyPage(QPainter& p, double w, double h) {
  // The PC, the proxy in the middle and the internet above.
  p.setPen(QPen(MeterArt::kWindowColor, 2, Qt::DashLine));
  p.drawLine(QPointF(w * 0.5, h * 0.22), QPointF(w * 0.5, h * 0.62));
  WizardArt::Badge(p, QPointF(w * 0.5, h * 0.16), w * 0.12);
  p.setPen(QPen(MeterArt::kWindowColor, 1));
  p.drawLine(QPointF(w * 0.38, h * 0.16), QPointF(w * 0.62, h * 0.16));
  p.drawEllipse(QPointF(w * 0.5, h * 0.16), w * 0.05, w * 0.12);
  p.setPen(QPen(QColor(30, 30, 20), 1.5));
  p.setBrush(MeterArt::kPanelColor);
  p.drawRoundedRect(QRectF(w * 0.3, h * 0.36, w * 0.4, h * 0.12), 3, 3);
  Computer(p, QRectF(w * 0.3, h * 0.56, w * 0.4, h * 0.24));
}

void DrawKilobitPage(QPainter& p, double w, double h) {
  Digits(p, QRectF(w * 0.12, h * 0.18, w * 0.76, h * 0.18), QStringLiteral("1000"));
  Digits(p, QRectF(w * 0.12, h * 0.48, w * 0.76, h * 0.18), QStringLiteral("1024"));
  WizardArt::Caption(p, QRectF(0, h * 0.36, w, h * 0.12), QStringLiteral("or"));
}

void DrawInterfacePage(QPainter& p, double w, double h) {
  // A network card with its port and three activity lights.
  p.setPen(QPen(QColor(30, 30, 20), 1.5));
  p.setBrush(QColor(30, 110, 50));
  p.drawRect(QRectF(w * 0.12, h * 0.25, w * 0.76, h * 0.3));
  p.setBrush(QColor(200, 170, 60));
  for (int i = 0; i < 6; ++i) {
    p.drawRect(QRectF(w * (0.18 + 0.1 * i), h * 0.55, w * 0.06, h * 0.06));
  }
  p.setBrush(QColor(200, 200, 190));
  p.drawRect(QRectF(w * 0.2, h * 0.3, w * 0.25, h * 0.17));
  const QColor lights[] = {QColor(255, 40, 40), QColor(255, 255, 0), QColor(0, 255, 0)};
  for (int i = 0; i < 3; ++i) {
    p.setBrush(lights[i]);
    p.drawEllipse(QPointF(w * (0.56 + 0.1 * i), h * 0.38), w * 0.035, w * 0.035);
  }
}

void DrawAutoloadPage(QPainter& p, double w, double h) {
  // The power symbol: the meter starts with the session.
  const QPointF c(w * 0.5, h * 0.42);
  const double r = std::min(w, h) * 0.26;
  WizardArt::Badge(p, c, r);
  p.setPen(QPen(QColor(0, 255, 0), r / 6, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(c.x() - r * 0.55, c.y() - r * 0.55, r * 1.1, r * 1.1), 120 * 16, -300 * 16);
  p.drawLine(QPointF(c.x(), c.y() - r * 0.7), QPointF(c.x(), c.y() - r * 0.1));
}

void DrawActivePage(QPainter& p, double w, double h) {
  // Play, over a dial that is already moving.
  Gauge(p, QRectF(w * 0.15, h * 0.12, w * 0.7, h * 0.25), 9);
  const QPointF c(w * 0.5, h * 12);
  const double r = std::min(w, h) * 0.17;
  WizardArt::Badge(p, c, r);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 255, 0));
  QPolygonF play;
  play << QPointF(c.x() - r * 0.35, c.y() - r * 0.5) << QPointF(c.x() + r * 0.55, c.y())
       << QPointF(c.x() - r * 0.35, c.y() + r * 0.5);
  p.drawPolygon(play);
}

void DrawReadyPage(QPainter& p, double w, double h) {
  const QPointF c(w * 0.5, h * 0.42);
  const double r = std::min(w, h) * 0.26;
  WizardArt::Badge(p, c, r);
  WizardArt::Tick(p, c, r, QColor(0, 255, 0));
}

// In page order; the welcome picture also stands for any page not listed.
const WizardPage kSetupPages[] = {
    {DrawWelcome, "Setup"},     {DrawWindowPage, "Window"},       {DrawProxyPage, "Proxy"},
    {DrawKilobitPage, "bits"},  {DrawInterfacePage, "Interface"}, {DrawAutoloadPage, "Autoload"},
    {DrawActivePage, "Active"}, {DrawReadyPage, "Ready"},
};

}  // namespace

QImage MeterArt::WizardPicture(int page, QSize size, qreal ratio) {
  return WizardArt::PagePicture(kSetupPages, page, 0, size, ratio);
}

QImage MeterArt::SetupPicture(QSize size, qreal ratio) {
  QImage image = ImageAtRatio(size, ratio);
  if (image.isNull()) {
    return image;
  }
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  WizardArt::ScaleToDesign(p, image, kSetupPictureSize, size);
  WizardArt::Backdrop(p, size);
  const double w = size.width();
  const double h = size.height();
  Gauge(p, QRectF(w * 0.12, h * 0.1, w * 0.76, h * 0.36), 11);
  // A cog: the settings behind the dial.
  const QPointF c(w * 0.5, h * 0.66);
  const double r = std::min(w, h) * 0.16;
  p.setPen(Qt::NoPen);
  p.setBrush(MeterArt::kWindowColor);
  for (int i = 0; i < 8; ++i) {
    p.save();
    p.translate(c);
    p.rotate(45.0 * i);
    p.drawRect(QRectF(-r * 0.2, -r * 1.3, r * 0.4, r * 0.5));
    p.restore();
  }
  p.drawEllipse(c, r, r);
  p.setBrush(QColor(60, 80, 40));
  p.drawEllipse(c, r * 0.4, r * 0.4);
  return Kept(p, image);
}

}  // namespace velmar
