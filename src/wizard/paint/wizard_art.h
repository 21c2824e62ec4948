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
  // A transparent picture of `size` with the backdrop already drawn.
  static QImage Canvas(QSize size);
  static void Backdrop(QPainter& p, QSize size);
  // A caption in the light window colour, centred in `area`.
  static void Caption(QPainter& p, QRectF area, const QString& text);
  // Where a page picture puts its caption.
  static QRectF CaptionArea(QSize size);
};

}  // namespace velmar
