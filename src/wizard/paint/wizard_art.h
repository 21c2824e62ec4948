#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>

namespace velmar {

// The look of the picture beside each page of the meter's wizards (the
// setup wizard, the report profile wizard): the splash's olive gradient in
// a bezel, a drawing on it and a caption under it.
class WizardArt {
 public:
  // The pictures' design size; larger ones scale the whole drawing.
  static constexpr QSize kPictureSize{112, 182};

  // A transparent picture of `size` at `ratio` with the backdrop already
  // drawn.
  static QImage Canvas(QSize size, qreal ratio = 1);
  static void Backdrop(QPainter& p, QSize size);
  // A caption in the light window colour, centred in `area`.
  static void Caption(QPainter& p, QRectF area, const QString& text);
  // Where a page picture puts its caption.
  static QRectF CaptionArea(QSize size);
  // Sets `p` (on `image`) to draw a picture of design size `design` over
  // the whole image, scaled up when the image is larger (its lines and
  // captions too), and sets `size` to the size to draw for.
  static void ScaleToDesign(QPainter& p, const QImage& image, QSize design, QSize& size);
};

}  // namespace velmar
