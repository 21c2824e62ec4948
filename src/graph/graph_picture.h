#pragma once

#include <QImage>

namespace velmar {

// The picture on the chart's back wall: a faint meter dial, drawn once and
// kept, translucent so the grid and the bars stay in front of it.
const QImage& GraphPicture();

}  // namespace velmar
