#include "indicator.h"

#include <QPainter>
#include <QResizeEvent>

namespace velmar {

TIndicator::TIndicator(QWidget* parent) : QWidget(parent) {
  // Every pixel comes from the off-screen picture, so Qt need not clear first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
  resize(IndicatorPainter::kDefaultWidth, IndicatorPainter::kDefaultHeight);
  painter_.SetSize(size());
}

void TIndicator::SetPosition(int position) {
  RepaintIf(painter_.SetPosition(position));
}

void TIndicator::SetBackground(const QColor& color) {
  RepaintIf(painter_.SetBackground(color));
}

void TIndicator::SetForeground(const QColor& color) {
  RepaintIf(painter_.SetForeground(color));
}

void TIndicator::RepaintIf(bool changed) {
  if (changed) {
    update();
  }
}

void TIndicator::paintEvent(QPaintEvent*) {
  // A widget resized while hidden gets its resize event only when shown.
  painter_.SetSize(size());
  const QImage& image = painter_.Image();
  if (image.isNull()) {
    return;
  }
  QPainter(this).drawImage(0, 0, image);
}

void TIndicator::resizeEvent(QResizeEvent* event) {
  painter_.SetSize(event->size());
  QWidget::resizeEvent(event);
}

}  // namespace velmar
