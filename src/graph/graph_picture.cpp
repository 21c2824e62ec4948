#include "graph/graph_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace velmar {

namespace {

QImage MakePicture() {
  QImage image(120, 72, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  // A shade of the back wall's colour, so the dial reads as a watermark.
  const QColor ink(200, 150, 70, 110);
  const QPointF centre(60, 66);
  const double radius = 54;
  p.setPen(QPen(ink, 5, Qt::SolidLine, Qt::FlatCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 15 * 16,
            150 * 16);
  p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i <= 10; ++i) {
    const double a = (165.0 - i * 15.0) * std::numbers::pi / 180.0;
    const double inner = i % 5 == 0 ? radius - 16 : radius - 10;
    p.drawLine(centre + QPointF(inner * std::cos(a), -inner * std::sin(a)),
               centre + QPointF((radius - 4) * std::cos(a), -(radius - 4) * std::sin(a)));
  }
  const double needle = 55.0 * std::numbers::pi / 180.0;
  p.setPen(QPen(ink, 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(centre,
             centre + QPointF((radius - 14) * std::cos(needle), -(radius - 14) * std::sin(needle)));
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  p.drawEllipse(centre, 6, 6);
  return image;
}

}  // namespace

const QImage& GraphPicture() {
  static const QImage picture = MakePicture();
  return picture;
}

}  // namespace velmar
