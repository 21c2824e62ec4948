#include "wizard/paint/wizard_art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPen>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "platform/paint/hidpi_image.h"

namespace velmar {

namespace {

// The splash's olive and the meter's window colour; the olive is deep
// enough at the bottom for the captions to keep a 4.5:1 contrast.
const QColor kOliveTop(40, 60, 30);
const QColor kOliveBottom(96, 96, 0);
const QColor kBezel(180, 170, 120);
const QColor kCaption(240, 231, 198);

}  // namespace

QImage WizardArt::PagePicture(std::span<const WizardPage> pages, int page, int fallback, QSize size,
                              qreal ratio) {
  QImage image = ImageAtRatio(size, ratio);
  if (image.isNull()) {
    return image;
  }
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  ScaleToDesign(p, image, kPictureSize, size);
  Backdrop(p, size);
  const bool known = page >= 0 && static_cast<size_t>(page) < pages.size();
  const WizardPage& chosen = pages[static_cast<size_t>(known ? page : fallback)];
  chosen.draw(p, size.width(), size.height());
  Caption(p, CaptionArea(size), QString::fromLatin1(chosen.caption));
  return image;
}

void WizardArt::Backdrop(QPainter& p, QSize size) {
  QLinearGradient olive(0, 0, 0, size.height());
  olive.setColorAt(0, kOliveTop);
  olive.setColorAt(1, kOliveBottom);
  p.setPen(QPen(kBezel, 2));
  p.setBrush(olive);
  p.drawRoundedRect(QRectF(1, 1, size.width() - 2, size.height() - 2), 8, 8);
}

void WizardArt::Caption(QPainter& p, QRectF area, const QString& text) {
  p.setPen(kCaption);
  QFont f(QStringLiteral("DejaVu Sans"), 8, QFont::Bold);
  p.setFont(f);
  p.drawText(area, Qt::AlignCenter, text);
}

void WizardArt::Badge(QPainter& p, QPointF centre, double radius) {
  p.setPen(QPen(kCaption, radius / 7));
  p.setBrush(QColor(60, 80, 40));
  p.drawEllipse(centre, radius, radius);
}

void WizardArt::Tick(QPainter& p, QPointF centre, double radius, const QColor& colour) {
  p.setPen(QPen(colour, radius / 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPolygonF tick;
  tick << QPointF(centre.x() - radius * 0.5, centre.y())
       << QPointF(centre.x() - radius * 0.1, centre.y() + radius * 0.4)
       << QPointF(centre.x() + radius * 0.55, centre.y() - radius * 0.45);
  p.drawPolyline(tick);
}

QRectF WizardArt::CaptionArea(QSize size) {
  return QRectF(0, size.height() * 0.82, size.width(), size.height() * 0.14);
}

void WizardArt::ScaleToDesign(QPainter& p, const QImage& image, QSize design, QSize& size) {
  const QSizeF logical = image.deviceIndependentSize();
  const double s = std::min(logical.width() / design.width(), logical.height() / design.height());
  size = logical.toSize();
  if (s > 1.0) {
    p.scale(s, s);
    size = QSize(static_cast<int>(std::lround(logical.width() / s)),
                 static_cast<int>(std::lround(logical.height() / s)));
  }
}

}  // namespace velmar
