#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <cmath>

namespace velmar {

// The display controls draw without transparency.
inline QColor Opaque(const QColor& color) {
  return QColor(color.rgb());
}

// A property setter's common part: stores `value` and tells whether it
// differed, so the picture is only redrawn after a real change.
template <typename T>
bool StoreIfChanged(T& field, const T& value) {
  if (field == value) {
    return false;
  }
  field = value;
  return true;
}

// Colours compare by their opaque RGB value, whatever colour spec they came in.
inline bool StoreIfChanged(QColor& field, const QColor& value) {
  const QColor opaque = Opaque(value);
  if (opaque.rgb() == field.rgb()) {
    return false;
  }
  field = opaque;
  return true;
}

// The same, marking the picture stale when the value changed.
template <typename T>
bool StoreIfChanged(T& field, const T& value, bool& stale) {
  const bool changed = StoreIfChanged(field, value);
  stale = stale || changed;
  return changed;
}

// The picture a display control paints, kept from one paint to the next:
// drawn again only after a change it shows (a setter sets `stale`), or when
// the control's size or pixel ratio changed.
class CachedImage {
 public:
  bool stale = true;

  // The control at `size` x `ratio` pixels, marked with the ratio; null
  // when the size is empty. When it must be drawn again it is filled with
  // `background` and handed to `draw` in device pixels (ratio 1).
  template <typename Draw>
  const QImage& Render(QSize size, qreal ratio, const QColor& background, Draw draw) {
    const QSize pixels(static_cast<int>(std::ceil(size.width() * ratio)),
                       static_cast<int>(std::ceil(size.height() * ratio)));
    if (image_.size() != pixels) {
      image_ = size.isEmpty() ? QImage() : QImage(pixels, QImage::Format_RGB32);
      stale = true;
    }
    if (!stale || image_.isNull()) {
      return image_;
    }
    stale = false;
    image_.setDevicePixelRatio(1);
    image_.fill(background);
    draw(image_);
    image_.setDevicePixelRatio(ratio);
    return image_;
  }

 private:
  QImage image_;
};

}  // namespace velmar
