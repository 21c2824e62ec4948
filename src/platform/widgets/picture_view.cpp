#include "platform/widgets/picture_view.h"

#include <QPainter>

namespace velmar {

PictureView::PictureView(Draw draw, QWidget* parent) : QWidget(parent), draw_(std::move(draw)) {}

const QImage& PictureView::Picture() {
  const qreal ratio = devicePixelRatioF();
  if (picture_.isNull() || picture_.devicePixelRatio() != ratio ||
      picture_.deviceIndependentSize().toSize() != size()) {
    picture_ = size().isEmpty() ? QImage() : draw_(size(), ratio);
  }
  return picture_;
}

void PictureView::paintEvent(QPaintEvent* /*event*/) {
  const QImage& picture = Picture();
  if (!picture.isNull()) {
    QPainter(this).drawImage(QPointF(0, 0), picture);
  }
}

}  // namespace velmar
