#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace velmar {

// How much larger than the font the windows were drawn for a font is. The
// meter's windows place their controls in pixels of that design font
// (DejaVu Sans 9 pt at 96 dpi, Qt's default on this desktop); a larger
// system font, or a higher font resolution, multiplies every place and size
// by this factor, so the text keeps the room it had. Never below 1: a
// smaller font keeps the design.
class FontScale {
 public:
  // The design font's line height and the width of kSample in it.
  static constexpr double kDesignLineHeight = 13.96875;
  static constexpr double kDesignSampleWidth = 349.656;
  static const char* const kSample;

  FontScale() = default;
  explicit FontScale(double factor);
  // The factor for `font`: the larger of its height and its width against
  // the design font's.
  static FontScale Of(const QFont& font);

  double Factor() const { return factor_; }
  bool IsDesign() const { return factor_ == 1.0; }

  // Design pixels to pixels, rounded. A rectangle's edges are rounded, not
  // its size, so neighbours that touched in the design still touch.
  int operator()(int designPixels) const;
  QPoint Point(QPoint design) const;
  QSize Size(QSize design) const;
  QRect Rect(const QRect& design) const;
  QRect Rect(int x, int y, int width, int height) const { return Rect(QRect(x, y, width, height)); }

 private:
  double factor_ = 1.0;
};

}  // namespace velmar
