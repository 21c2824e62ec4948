#include "measure/paint/lcd_display_painter.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>

#include "measure/paint/painter_property.h"

namespace velmar {

namespace {

// Lit segments per digit, bit n standing for segment n of
// LcdDisplayPainter::Segment (top, upper left, upper right, middle, lower
// left, lower right, bottom).
constexpr uint8_t Bits(std::initializer_list<LcdDisplayPainter::Segment> segments) {
  uint8_t bits = 0;
  for (auto segment : segments) {
    bits |= static_cast<uint8_t>(1u << segment);
  }
  return bits;
}

using S = LcdDisplayPainter;
constexpr std::array<uint8_t, 10> kDigitSegments = {
    Bits({S::kTop, S::kUpperLeft, S::kUpperRight, S::kLowerLeft, S::kLowerRight, S::kBottom}),
    Bits({S::kUpperRight, S::kLowerRight}),
    Bits({S::kTop, S::kUpperRight, S::kMiddle, S::kLowerLeft, S::kBottom}),
    Bits({S::kTop, S::kUpperRight, S::kMiddle, S::kLowerRight, S::kBottom}),
    Bits({S::kUpperLeft, S::kUpperRight, S::kMiddle, S::kLowerRight}),
    Bits({S::kTop, S::kUpperLeft, S::kMiddle, S::kLowerRight, S::kBottom}),
    Bits({S::kTop, S::kUpperLeft, S::kMiddle, S::kLowerLeft, S::kLowerRight, S::kBottom}),
    Bits({S::kTop, S::kUpperRight, S::kLowerRight}),
    Bits({S::kTop, S::kUpperLeft, S::kUpperRight, S::kMiddle, S::kLowerLeft, S::kLowerRight,
          S::kBottom}),
    Bits({S::kTop, S::kUpperLeft, S::kUpperRight, S::kMiddle, S::kLowerRight, S::kBottom}),
};

// Character `index` of FormatText(value, numDigits), given `number`, the
// value without padding; the padded text itself may be far longer than
// what is drawn.
char TextCharAt(const std::string& number, int numDigits, int index) {
  const bool negative = number.front() == '-';
  const size_t length = number.size() - (negative ? 1 : 0);
  const size_t padded = std::max(static_cast<size_t>(numDigits), length);
  if (negative && index == 0) {
    return '-';
  }
  const size_t position = static_cast<size_t>(index) - (negative ? 1 : 0);
  const size_t zeros = padded - length;
  return position < zeros ? '0' : number[position - zeros + (negative ? 1 : 0)];
}

using DigitSet = std::array<QImage, 10>;

// Everything a digit picture depends on. Displays that look alike share
// their pictures: the window's eight speed displays come in two looks, and
// a set of ten is some 11 kB.
struct DigitLook {
  int width;
  int height;
  int line;
  int gap;
  QRgb background;
  QRgb on;
  QRgb off;
  auto operator<=>(const DigitLook&) const = default;
};

std::mutex digitLooksMutex;
std::map<DigitLook, std::weak_ptr<const DigitSet>> digitLooks;

}  // namespace

LcdDisplayPainter::LcdDisplayPainter() {
  RebuildDigitPictures();
}

bool LcdDisplayPainter::SetNumDigits(int numDigits) {
  return StoreIfChanged(numDigits_, numDigits, picture_.stale);
}

bool LcdDisplayPainter::SetValue(int value) {
  return StoreIfChanged(value_, value, picture_.stale);
}

bool LcdDisplayPainter::SetDigitHeight(int height) {
  return SetDigitGeometry(digitHeight_, height);
}

bool LcdDisplayPainter::SetDigitWidth(int width) {
  return SetDigitGeometry(digitWidth_, width);
}

bool LcdDisplayPainter::SetDigitLineWidth(int width) {
  return SetDigitGeometry(digitLineWidth_, width);
}

bool LcdDisplayPainter::SetBackgroundColor(const QColor& color) {
  return SetColour(backgroundColor_, color);
}

bool LcdDisplayPainter::SetLightOnColor(const QColor& color) {
  return SetColour(lightOnColor_, color);
}

bool LcdDisplayPainter::SetLightOffColor(const QColor& color) {
  return SetColour(lightOffColor_, color);
}

bool LcdDisplayPainter::SetSize(QSize size) {
  return StoreIfChanged(size_, size, picture_.stale);
}

bool LcdDisplayPainter::SetDevicePixelRatio(qreal ratio) {
  return SetScaleFactor(devicePixelRatio_, ratio);
}

bool LcdDisplayPainter::SetLayoutScale(qreal scale) {
  return SetScaleFactor(layoutScale_, scale);
}

bool LcdDisplayPainter::SetScaleFactor(qreal& field, qreal value) {
  if (!StoreIfChanged(field, std::max<qreal>(1, value))) {
    return false;
  }
  RebuildDigitPictures();
  return true;
}

int LcdDisplayPainter::ToDevice(int design) const {
  return static_cast<int>(std::lround(design * Scale()));
}

int LcdDisplayPainter::DeviceDigitWidth() const {
  return ToDevice(digitWidth_);
}

int LcdDisplayPainter::DeviceDigitHeight() const {
  return ToDevice(digitHeight_);
}

int LcdDisplayPainter::DeviceLineWidth() const {
  return ToDevice(digitLineWidth_);
}

int LcdDisplayPainter::DeviceGap() const {
  // An odd width, so the outline that makes the gaps lies evenly on both
  // sides of the segments' edges: one pixel up to a scale of 2.5, then three.
  const int half = static_cast<int>(std::floor((Scale() - 0.5) / 2));
  return 2 * std::max(0, half) + 1;
}

bool LcdDisplayPainter::SetDigitGeometry(int& field, int value) {
  if (!StoreIfChanged(field, value)) {
    return false;
  }
  RebuildDigitPictures();
  return true;
}

bool LcdDisplayPainter::SetColour(QColor& field, const QColor& color) {
  if (!StoreIfChanged(field, color)) {
    return false;
  }
  RebuildDigitPictures();
  return true;
}

std::string LcdDisplayPainter::FormatText(int value, int numDigits) {
  // Widened first: the magnitude of the smallest int does not fit an int.
  const int64_t wide = value;
  std::string digits = std::to_string(wide < 0 ? -wide : wide);
  if (numDigits == 0 && value == 0) {
    digits.clear();  // printf writes no digit for a zero of precision 0
  }
  if (numDigits > 0 && digits.size() < static_cast<size_t>(numDigits)) {
    digits.insert(0, static_cast<size_t>(numDigits) - digits.size(), '0');
  }
  return wide < 0 ? "-" + digits : digits;
}

bool LcdDisplayPainter::SegmentLit(int digit, Segment segment) {
  if (digit < 0 || digit > 9) {
    return false;
  }
  return (kDigitSegments[static_cast<size_t>(digit)] >> segment) & 1u;
}

QPolygon LcdDisplayPainter::SegmentPolygon(Segment segment) const {
  const int w = DeviceDigitWidth();
  const int H = DeviceDigitHeight();
  const int L = DeviceLineWidth();
  const int h = H / 2;
  const int l = L / 2;
  switch (segment) {
    case kTop:
      return QPolygon({{0, 0}, {w - 1, 0}, {w - L, L - 1}, {L - 1, L - 1}});
    case kUpperLeft:
      return QPolygon({{0, 0}, {L - 1, L - 1}, {L - 1, h - l}, {0, h}});
    case kUpperRight:
      return QPolygon({{w - 1, 0}, {w - 1, h}, {w - L, h - l}, {w - L, L - 1}});
    case kMiddle:
      return QPolygon(
          {{0, h}, {L - 1, h - l}, {w - L, h - l}, {w - 1, h}, {w - L, h + l}, {L - 1, h + l}});
    case kLowerLeft:
      return QPolygon({{0, h}, {L - 1, h + l}, {L - 1, H - L}, {0, H - 1}});
    case kLowerRight:
      return QPolygon({{w - 1, h}, {w - 1, H - 1}, {w - L, H - L}, {w - L, h + l}});
    case kBottom:
      return QPolygon({{0, H - 1}, {L - 1, H - L}, {w - L, H - L}, {w - 1, H - 1}});
  }
  return {};
}

void LcdDisplayPainter::RebuildDigitPictures() {
  ++digitPictureBuilds_;
  picture_.stale = true;
  const int width = DeviceDigitWidth();
  const int height = DeviceDigitHeight();
  if (width <= 0 || height <= 0) {
    digits_ = std::make_shared<const DigitSet>();
    return;
  }
  const DigitLook look{width,
                       height,
                       DeviceLineWidth(),
                       DeviceGap(),
                       backgroundColor_.rgba(),
                       lightOnColor_.rgba(),
                       lightOffColor_.rgba()};
  const std::lock_guard lock(digitLooksMutex);
  std::erase_if(digitLooks, [](const auto& entry) { return entry.second.expired(); });
  if (auto shared = digitLooks[look].lock()) {
    digits_ = std::move(shared);
    return;
  }
  // The outline in the background colour leaves the thin gaps between
  // neighbouring segments and around the digit.
  QPen outline(backgroundColor_);
  outline.setWidth(look.gap);
  // One canvas for all ten: an image keeps the paint engine it was painted
  // with (some 20 kB) for its whole life, so the kept pictures are copies.
  QImage canvas(width, height, QImage::Format_RGB32);
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(outline);
  auto pictures = std::make_shared<DigitSet>();
  for (int digit = 0; digit < 10; ++digit) {
    painter.fillRect(canvas.rect(), backgroundColor_);
    for (int s = 0; s < kSegmentCount; ++s) {
      const auto segment = static_cast<Segment>(s);
      painter.setBrush(SegmentLit(digit, segment) ? lightOnColor_ : lightOffColor_);
      painter.drawPolygon(SegmentPolygon(segment));
    }
    (*pictures)[static_cast<size_t>(digit)] = canvas.copy();
  }
  digitLooks[look] = pictures;
  digits_ = std::move(pictures);
}

const QImage& LcdDisplayPainter::Render() {
  return picture_.Render(size_, devicePixelRatio_, backgroundColor_, [this](QImage& image) {
    // Without a cell there is nothing to divide the width by.
    if (numDigits_ > 0 && !(*digits_)[0].isNull()) {
      DrawCells(image);
    }
  });
}

void LcdDisplayPainter::DrawCells(QImage& image) const {
  const int cellWidth = image.width() / numDigits_;
  const int y = (image.height() - DeviceDigitHeight()) / 2;
  const int x = (cellWidth - DeviceDigitWidth()) / 2;
  const std::string number = FormatText(value_, 1);
  QPainter painter(&image);
  // More cells than pixels puts every cell at the same place, where the last
  // one covers the rest; drawing only that one keeps a huge count cheap.
  const int first = cellWidth == 0 ? numDigits_ - 1 : 0;
  for (int i = first; i < numDigits_; ++i) {
    const char c = TextCharAt(number, numDigits_, i);
    // The only non-digit is a minus sign; it shows as a 1.
    const int digit = (c >= '0' && c <= '9') ? c - '0' : 1;
    painter.drawImage(x + i * cellWidth, y, (*digits_)[static_cast<size_t>(digit)]);
  }
}

}  // namespace velmar
