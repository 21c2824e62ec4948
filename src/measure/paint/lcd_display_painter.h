#pragma once

#include <QColor>
#include <QImage>
#include <QPolygon>
#include <QSize>
#include <array>
#include <memory>
#include <string>

#include "measure/paint/painter_property.h"

namespace velmar {

// Draws a row of seven-segment digits into an off-screen image: the logic
// behind LcdDisplay, usable without a display. The ten digit pictures are
// prepared once per geometry and colour set, so that a change of the value
// (several times a second) only copies pictures.
//
// The digit geometry is given in the window's design pixels. The picture is
// drawn in device pixels: each length is multiplied by the device pixel
// ratio and the window's font scale and rounded once, so every segment of a
// display has the same stroke and every gap the same width at any ratio.
//
// Setters return true when they changed something, so that the widget asks
// for a repaint only then.
class LcdDisplayPainter {
 public:
  enum Segment {
    kTop,
    kUpperLeft,
    kUpperRight,
    kMiddle,
    kLowerLeft,
    kLowerRight,
    kBottom,
  };
  static constexpr int kSegmentCount = 7;

  static constexpr int kDefaultWidth = 168;
  static constexpr int kDefaultHeight = 36;

  LcdDisplayPainter();

  int NumDigits() const { return numDigits_; }
  int Value() const { return value_; }
  int DigitHeight() const { return digitHeight_; }
  int DigitWidth() const { return digitWidth_; }
  int DigitLineWidth() const { return digitLineWidth_; }
  QColor BackgroundColor() const { return backgroundColor_; }
  QColor LightOnColor() const { return lightOnColor_; }
  QColor LightOffColor() const { return lightOffColor_; }
  QSize Size() const { return size_; }
  qreal DevicePixelRatio() const { return devicePixelRatio_; }
  qreal LayoutScale() const { return layoutScale_; }
  // Device pixels per design pixel: the ratio times the layout scale.
  qreal Scale() const { return devicePixelRatio_ * layoutScale_; }

  // A display of fewer than one digit draws only its background.
  bool SetNumDigits(int numDigits);
  bool SetValue(int value);
  bool SetDigitHeight(int height);
  bool SetDigitWidth(int width);
  bool SetDigitLineWidth(int width);
  // The control is opaque: colours are taken without their alpha.
  bool SetBackgroundColor(const QColor& color);
  bool SetLightOnColor(const QColor& color);
  bool SetLightOffColor(const QColor& color);
  // The control's size in logical pixels.
  bool SetSize(QSize size);
  // The screen's device pixel ratio (ratios below 1 count as 1).
  bool SetDevicePixelRatio(qreal ratio);
  // How much the window's layout grew for its font (see FontScale).
  bool SetLayoutScale(qreal scale);

  // `value` in decimal with at least `numDigits` digits, zero-padded after
  // the sign, as printf's "%n.nd" writes it.
  static std::string FormatText(int value, int numDigits);

  // Whether `segment` is lit in `digit` (0..9).
  static bool SegmentLit(int digit, Segment segment);

  // The corner points of `segment` for the current digit geometry, in
  // device pixels.
  QPolygon SegmentPolygon(Segment segment) const;
  // The digit's size, stroke and gap between segments in device pixels.
  int DeviceDigitWidth() const;
  int DeviceDigitHeight() const;
  int DeviceLineWidth() const;
  int DeviceGap() const;

  // The prepared picture of `digit` (0..9), in device pixels; null when the
  // digit size is not positive.
  const QImage& DigitPicture(int digit) const { return digits_->at(digit); }

  // How often the ten digit pictures have been prepared.
  int DigitPictureBuilds() const { return digitPictureBuilds_; }

  // The whole control at Size() x DevicePixelRatio() pixels, marked with
  // the ratio; null when the size is empty.
  const QImage& Render();

 private:
  void RebuildDigitPictures();
  void DrawCells(QImage& image) const;
  bool SetDigitGeometry(int& field, int value);
  bool SetColour(QColor& field, const QColor& color);
  bool SetScaleFactor(qreal& field, qreal value);
  int ToDevice(int design) const;

  int numDigits_ = 6;
  int value_ = 0;
  int digitHeight_ = 30;
  int digitWidth_ = 20;
  int digitLineWidth_ = 5;
  QColor backgroundColor_{128, 128, 0};
  QColor lightOnColor_{0, 255, 0};
  QColor lightOffColor_{0, 128, 0};
  QSize size_{kDefaultWidth, kDefaultHeight};
  qreal devicePixelRatio_ = 1;
  qreal layoutScale_ = 1;

  // Shared with every display of the same look.
  std::shared_ptr<const std::array<QImage, 10>> digits_;
  int digitPictureBuilds_ = 0;
  CachedImage picture_;
};

}  // namespace velmar
