#pragma once

#include <QImage>
#include <QSize>

namespace velmar {

// A transparent image of `size` logical pixels at `devicePixelRatio`: a
// painter on it draws in logical coordinates at the screen's full
// resolution, and Qt shows it at its logical size. Null for an empty size.
QImage ImageAtRatio(QSize size, qreal devicePixelRatio,
                    QImage::Format format = QImage::Format_ARGB32_Premultiplied);

}  // namespace velmar
