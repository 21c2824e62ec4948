#include "meter_art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace velmar {

const QColor MeterArt::kWindowColor(240, 231, 198);
const QColor MeterArt::kPanelColor(247, 225, 174);

namespace {

void Gauge(QPainter& p, QRectF area, double fraction) {
  // A half-round dial with a needle.
  const QPointF centre(area.center().x(), area.bottom());
  const double radius = std::min(area.width() / 2, area.height());
  p.setPen(QPen(QColor(60, 60, 40), radius / 12));
  p.setBrush(Qt::NoBrush);
  const QRectF dial(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  p.drawArc(dial, 0, 180 * 16);
  for (int i = 0; i <= 10; ++i) {
    const double a = M_PI * i / 10;
    const QPointF outer(centre.x() - radius * std::cos(a), centre.y() - radius * std::sin(a));
    const QPointF inner(centre.x() - radius * 0.8 * std::cos(a),
                        centre.y() - radius * 0.8 * std::sin(a));
    p.setPen(QPen(i >= 8 ? QColor(200, 30, 30) : QColor(60, 60, 40), radius / 20));
    p.drawLine(inner, outer);
  }
  const double a = M_PI * fraction;
  p.setPen(QPen(QColor(200, 30, 30), radius / 10, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(centre, QPointF(centre.x() - radius * 0.9 * std::cos(a),
                             centre.y() - radius * 0.9 * std::sin(a)));
}

}  // namespace

QImage MeterArt::Splash(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, size.height());
  g.setColorAt(0, QColor(40, 60, 30));
  g.setColorAt(1, QColor(128, 128, 0));
  p.fillRect(image.rect(), g);
  Gauge(p,
        QRectF(size.width() * 0.3, size.height() * 0.12, size.width() * 0.4, size.height() * 0.4),
        0.7);
  p.setPen(QColor(0, 255, 0));
  QFont title(QStringLiteral("DejaVu Sans"), 26, QFont::Bold);
  p.setFont(title);
  p.drawText(QRect(0, size.height() / 2, size.width(), size.height() / 4), Qt::AlignCenter,
             QStringLiteral("Velmar 2000"));
  QFont sub(QStringLiteral("DejaVu Sans"), 10);
  p.setFont(sub);
  p.setPen(QColor(240, 231, 198));
  p.drawText(QRect(0, size.height() * 3 / 4, size.width(), size.height() / 5), Qt::AlignCenter,
             QStringLiteral("Bandwidth meter  V. 4.0.9"));
  return image;
}

QImage MeterArt::TrayIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(128, 128, 0));
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
  return image;
}

QImage MeterArt::MeterBackground(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, size.height());
  g.setColorAt(0, QColor(70, 70, 50));
  g.setColorAt(1, QColor(30, 30, 20));
  p.fillRect(image.rect(), g);
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
  return image;
}

QImage MeterArt::Lock(bool closed, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  // The shackle: closed sits in the body, open swings up and aside.
  p.setPen(QPen(QColor(90, 90, 90), s / 9, Qt::SolidLine, Qt::RoundCap));
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
  return image;
}

}  // namespace velmar
