#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "platform/paint/hidpi_image.h"

namespace velmar {

// A drawn picture (the meter's art) shown at the control's size and at the
// screen's device pixel ratio, so it is as sharp as the text beside it on
// any screen. The picture is drawn again only when the size or the ratio
// changes.
class PictureView : public QWidget {
 public:
  // Draws the picture for a control of `size` on a screen of
  // `devicePixelRatio`: an image of size x ratio pixels with that ratio set.
  using Draw = std::function<QImage(QSize size, qreal devicePixelRatio)>;

  explicit PictureView(Draw draw, QWidget* parent = nullptr);

  // The picture as the control shows it now (drawn if need be).
  const QImage& Picture();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Draw draw_;
  QImage picture_;
};

}  // namespace velmar
