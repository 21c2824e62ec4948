#include "platform/paint/hidpi_image.h"

#include <algorithm>
#include <cmath>

namespace velmar {

QImage ImageAtRatio(QSize size, qreal devicePixelRatio, QImage::Format format) {
  const qreal ratio = std::max<qreal>(1, devicePixelRatio);
  const QSize pixels(static_cast<int>(std::ceil(size.width() * ratio)),
                     static_cast<int>(std::ceil(size.height() * ratio)));
  if (size.isEmpty()) {
    return {};
  }
  QImage image(pixels, format);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  return image;
}

}  // namespace velmar
