#include "platform/paint/drawn_icon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>

namespace velmar {

namespace {

class DrawnIconEngine : public QIconEngine {
 public:
  explicit DrawnIconEngine(std::function<QImage(int)> draw) : draw_(std::move(draw)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1;
    const int side = std::min(rect.width(), rect.height());
    const QImage image = draw_(static_cast<int>(std::lround(side * ratio)));
    painter->drawImage(QRectF(rect.x() + (rect.width() - side) / 2.0,
                              rect.y() + (rect.height() - side) / 2.0, side, side),
                       image);
  }

  // `size` is in device pixels: QIcon multiplies by the ratio and marks
  // the pixmap with it.
  QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
    return QPixmap::fromImage(draw_(std::min(size.width(), size.height())));
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    return {side, side};
  }

  QIconEngine* clone() const override { return new DrawnIconEngine(draw_); }

 private:
  std::function<QImage(int)> draw_;
};

}  // namespace

QIcon DrawnIcon(std::function<QImage(int pixels)> draw) {
  return QIcon(new DrawnIconEngine(std::move(draw)));
}

}  // namespace velmar
