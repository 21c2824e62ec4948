#include "wizard/paint/wizard_art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPen>

namespace velmar {

namespace {

// The splash's olive and the meter's window colour.
const QColor kOliveTop(40, 60, 30);
const QColor kOliveBottom(128, 128, 0);
const QColor kBezel(180, 170, 120);
const QColor kCaption(240, 231, 198);

}  // namespace

QImage WizardArt::Canvas(QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  Backdrop(p, size);
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

QRectF WizardArt::CaptionArea(QSize size) {
  return QRectF(0, size.height() * 0.82, size.width(), size.height() * 0.14);
}

}  // namespace velmar
