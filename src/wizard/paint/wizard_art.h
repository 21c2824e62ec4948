#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>
#include <span>

namespace velmar {

// One page's picture in a wizard's table of pictures: the drawing on the
// backdrop, for a design area of w x h, and the caption under it.
struct WizardPage {
  void (*draw)(QPainter& p, double w, double h);
  const char* caption;
};

// The look of the picture beside each page of the meter's wizards (the
// setup wizard, the report profile wizard): the splash's olive gradient in
// a bezel, a drawing on it and a caption under it.
class WizardArt {
 public:
  // The pictures' design size; larger ones scale the whole drawing.
  static constexpr QSize kPictureSize{112, 182};

  // The picture of `pages[page]` at `size` and `ratio`: the backdrop, the
  // page's drawing and its caption. A page the table does not have gets
  // `pages[fallback]`.
  static QImage PagePicture(std::span<const WizardPage> pages, int page, int fallback, QSize size,
                            qreal ratio);
  static void Backdrop(QPainter& p, QSize size);
  // A dark disc in a light ring, the ground of the round pictures, and a
  // tick on one.
  static void Badge(QPainter& p, QPointF centre, double radius);
  static void Tick(QPainter& p, QPointF centre, double radius, const QColor& colour);
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
