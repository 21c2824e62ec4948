#pragma once

#include <QPainter>
#include <QResizeEvent>
#include <QWidget>

namespace velmar {

// A display control whose picture a plain painter class makes off-screen
// (kDefaultWidth, kDefaultHeight, SetSize, Render); the control takes no
// input and copies the picture to the screen in one step.
template <typename ControlPainter>
class PaintedControl : public QWidget {
 public:
  const ControlPainter& Painter() const { return painter_; }

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
    // A widget resized while hidden gets its resize event only when shown.
    painter_.SetSize(size());
    const QImage& image = painter_.Render();
    if (image.isNull()) {
      return;
    }
    QPainter(this).drawImage(0, 0, image);
  }

  void resizeEvent(QResizeEvent* event) override {
    painter_.SetSize(event->size());
    QWidget::resizeEvent(event);
  }

  ControlPainter painter_;
};

}  // namespace velmar
