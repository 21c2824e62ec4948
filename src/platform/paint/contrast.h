#pragma once

#include <QColor>

namespace velmar {

// WCAG 2.x contrast: the relative luminance of an sRGB colour and the ratio
// (L1 + 0.05) / (L2 + 0.05) of two, from 1 (the same) to 21 (black on
// white). Text wants 4.5 (AA), graphics that must be seen 3.
double RelativeLuminance(const QColor& colour);
double ContrastRatio(const QColor& a, const QColor& b);

// `colour`, darkened or lightened (towards the side away from `background`)
// only as much as it takes to reach `ratio` against `background`.
QColor Readable(const QColor& colour, const QColor& background, double ratio = 4.5);

// Whether a palette is a dark one: its window is darker than its text.
bool IsDark(const QColor& window, const QColor& text);

}  // namespace velmar
