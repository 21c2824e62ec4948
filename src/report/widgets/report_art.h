#pragma once

#include <QImage>
#include <QSize>

namespace velmar {

// The pictures beside the report profile wizard's pages (0 to 6: profile,
// period, grouping, values, quota, formats, ready), in the look of the
// setup wizard's, drawn at `size` and device pixel ratio `ratio`.
class ReportArt {
 public:
  static QImage WizardPicture(int page, QSize size, qreal ratio = 1);
};

}  // namespace velmar
