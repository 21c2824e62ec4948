#pragma once

#include <QPainter>
#include <QResizeEvent>
#include <QWidget>

#include "platform/widgets/fit_to_font.h"

namespace velmar {

// A display control whose picture a plain painter class makes off-screen
// (kDefaultWidth, kDefaultHeight, SetSize, SetDevicePixelRatio,
// SetLayoutScale, Render); the control takes no input and copies the
// picture to the screen in one step, at the screen's device pixel ratio.
template <typename ControlPainter>
class PaintedControl : public QWidget, public FontScaled {
 public:
  const ControlPainter& Painter() const { return painter_; }

  // The window's font scale: the painter's design lengths grow with it.
  void SetFontScale(const FontScale& scale) override {
    RepaintIf(painter_.SetLayoutScale(scale.Factor()));
  }

 protected:
  explicit PaintedControl(QWidget* parent) : QWidget(parent) {
    // Every pixel comes from the off-screen picture, so Qt need not clear
    // first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    resize(ControlPainter::kDefaultWidth, ControlPainter::kDefaultHeight);
    painter_.SetSize(size());
  }

  // Property setters pass on whether the painter's picture changed.
  void RepaintIf(bool changed) {
    if (changed) {
      update();
    }
  }

  void paintEvent(QPaintEvent*) override {
    // A widget resized while hidden gets its resize event only when shown;
    // the screen (and its ratio) may have changed since the last paint.
    painter_.SetSize(size());
    painter_.SetDevicePixelRatio(devicePixelRatioF());
    const QImage& image = painter_.Render();
    if (image.isNull()) {
      return;
    }
    QPainter(this).drawImage(QPointF(0, 0), image);
  }

  void resizeEvent(QResizeEvent* event) override {
    painter_.SetSize(event->size());
    QWidget::resizeEvent(event);
  }

  ControlPainter painter_;
};

}  // namespace velmar
