#pragma once

#include <QWidget>

#include "platform/paint/font_scale.h"

namespace velmar {

// A control that draws parts of a fixed design size itself (digits, bars)
// and follows the scale its window was fitted to.
class FontScaled {
 public:
  virtual ~FontScaled() = default;
  virtual void SetFontScale(const FontScale& scale) = 0;
};

// Fits a window built in design pixels (see FontScale) to its font: every
// control placed by hand moves and grows by the font's factor, with its
// fixed and limiting sizes and its icon; controls a layout places are left
// to the layout. At the design font nothing changes. Returns the factor.
FontScale FitToFont(QWidget& window);

}  // namespace velmar
