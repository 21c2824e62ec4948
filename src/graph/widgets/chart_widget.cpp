#include "graph/widgets/chart_widget.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "graph/chart_renderer.h"

namespace velmar {

namespace {

// A drag shorter than this is a click, not a rectangle.
constexpr int kMinimumDrag = 4;

QRectF Lerp(const QRectF& a, const QRectF& b, double t) {
  return QRectF(a.left() + (b.left() - a.left()) * t, a.top() + (b.top() - a.top()) * t,
                a.width() + (b.width() - a.width()) * t,
                a.height() + (b.height() - a.height()) * t);
}

}  // namespace

ChartWidget::ChartWidget(Chart3D& chart, QWidget* parent) : QWidget(parent), chart_(chart) {
  setAttribute(Qt::WA_OpaquePaintEvent, true);
  animation_.setInterval(kAnimationIntervalMs);
  connect(&animation_, &QTimer::timeout, this, [this] { Step(); });
  Refresh();
}

void ChartWidget::Refresh() {
  setToolTip(chart_.ShowHint ? chart_.Hint : QString());
  update();
}

QImage ChartWidget::RenderImage() const {
  return ChartRenderer::RenderImage(chart_, size());
}

void ChartWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  ChartRenderer::Render(chart_, painter, QRectF(rect()));
  if (dragging_ && !dragRect_.isEmpty()) {
    painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(dragRect_);
  }
}

bool ChartWidget::ZoomRect(const QRectF& rect) {
  const std::optional<QRectF> window =
      ChartRenderer::ZoomWindowFor(chart_, QRectF(this->rect()), rect);
  if (!window) {
    return false;
  }
  AnimateTo(*window);
  return true;
}

void ChartWidget::UndoZoom() {
  AnimateTo(QRectF(0, 0, 1, 1));
}

void ChartWidget::AnimateTo(const QRectF& window) {
  from_ = chart_.ZoomWindow;
  to_ = window;
  step_ = 0;
  stepsShown_ = 0;
  if (chart_.AnimatedZoom && chart_.AnimatedZoomSteps > 1) {
    animation_.start();
    Step();
  } else {
    animation_.stop();
    chart_.ZoomWindow = to_;
    stepsShown_ = 1;
    update();
  }
}

void ChartWidget::Step() {
  const int steps = std::max(1, chart_.AnimatedZoomSteps);
  ++step_;
  chart_.ZoomWindow = step_ >= steps ? to_ : Lerp(from_, to_, static_cast<double>(step_) / steps);
  ++stepsShown_;
  if (step_ >= steps) {
    animation_.stop();
  }
  update();
}

void ChartWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && chart_.AllowZoom) {
    dragging_ = true;
    dragStart_ = event->position().toPoint();
    dragRect_ = QRect();
  }
  QWidget::mousePressEvent(event);
}

void ChartWidget::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    dragRect_ = QRect(dragStart_, event->position().toPoint()).normalized();
    update();
  }
  QWidget::mouseMoveEvent(event);
}

void ChartWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_ && event->button() == Qt::LeftButton) {
    dragging_ = false;
    const QPoint end = event->position().toPoint();
    const QPoint d = end - dragStart_;
    if (std::abs(d.x()) >= kMinimumDrag || std::abs(d.y()) >= kMinimumDrag) {
      if (d.x() < 0 || d.y() < 0) {
        UndoZoom();
      } else {
        ZoomRect(QRectF(QRect(dragStart_, end).normalized()));
      }
    }
    update();
  }
  QWidget::mouseReleaseEvent(event);
}

}  // namespace velmar
