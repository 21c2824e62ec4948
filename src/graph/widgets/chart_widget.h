#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "graph/chart3d.h"

namespace velmar {

// Shows a Chart3D and lets the mouse zoom it: dragging a rectangle down
// and to the right zooms into it, dragging up or to the left undoes the
// zoom; both move in steps when the chart's zoom is animated.
class ChartWidget : public QWidget {
 public:
  static constexpr int kAnimationIntervalMs = 20;

  explicit ChartWidget(Chart3D& chart, QWidget* parent = nullptr);

  Chart3D& Chart() const { return chart_; }
  // Draws the chart again and shows its hint (or none).
  void Refresh();
  // The chart at the widget's size.
  QImage RenderImage() const;

  // Zooms into a rectangle of the widget; false when it covers no part of
  // the plot.
  bool ZoomRect(const QRectF& rect);
  void UndoZoom();
  bool ZoomAnimating() const { return animation_.isActive(); }
  // How many steps of the last zoom have been shown.
  int ZoomStepsShown() const { return stepsShown_; }
  // The rectangle being dragged, empty when none is.
  QRect DragRect() const { return dragging_ ? dragRect_ : QRect(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void AnimateTo(const QRectF& window);
  void Step();

  Chart3D& chart_;
  QTimer animation_;
  QRectF from_;
  QRectF to_;
  int step_ = 0;
  int stepsShown_ = 0;
  bool dragging_ = false;
  QPoint dragStart_;
  QRect dragRect_;
};

}  // namespace velmar
