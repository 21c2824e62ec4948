#pragma once

#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <optional>

namespace velmar {

// A point of the chart's world: x to the right, y up, z away from the
// viewer, in the pixels of the unturned front face.
struct ChartPoint3D {
  double x = 0;
  double y = 0;
  double z = 0;
};

// The box the chart's world occupies (walls included).
struct ChartBox {
  double x0 = 0, x1 = 0;
  double y0 = 0, y1 = 0;
  double z0 = 0, z1 = 0;
};

// Turns world points into screen points: the box is turned about its
// centre by the rotation (about the vertical axis) and the elevation (about
// the horizontal axis), seen in perspective or orthogonally, scaled and
// placed. The angles follow the charting convention where 0 (or 360) is
// the front view and 344/342 turn the box so that its right side and top
// face the viewer. Kept apart from any drawing so its maths can be tested
// without a display.
class ChartProjection {
 public:
  struct Angles {
    double rotation = 0;   // degrees
    double elevation = 0;  // degrees
    bool orthogonal = true;
    // Strength of the perspective: the viewer stands 50 / percent box
    // half-diagonals in front of the box's centre.
    double perspectivePercent = 15;
  };

  ChartProjection() = default;
  // `centre` is where the box's centre lands; `scale` multiplies every
  // distance on screen (0 collapses the chart into its centre).
  ChartProjection(const Angles& angles, const ChartBox& box, QPointF centre, double scale);

  // A box fitted into `area`: at zoom 100 the turned box fills the area as
  // far as its aspect allows and is centred in it; the zoom (percent)
  // scales it about the area's centre and the offsets move it (a positive
  // vertical offset moves the chart down).
  static ChartProjection Fitted(const Angles& angles, const ChartBox& box, const QRectF& area,
                                double zoomPercent, double horizontalOffset, double verticalOffset);

  QPointF Project(const ChartPoint3D& p) const;
  QPointF Project(double x, double y, double z) const { return Project({x, y, z}); }
  // Distance from the viewer along the line of sight (larger is farther);
  // used to paint far things first.
  double Depth(const ChartPoint3D& p) const;
  // The world point on the plane z = `z` that lands on `screen`; none when
  // that plane is seen edge-on or the chart is scaled to nothing.
  std::optional<QPointF> Unproject(QPointF screen, double z) const;

  // The smallest screen rectangle holding the projected box.
  QRectF Bounds(const ChartBox& box) const;

  // A face whose corners are given counter-clockwise as seen from outside
  // the solid faces the viewer when its projection keeps that order.
  static bool FacesViewer(const QPolygonF& projectedFace);

  const Angles& View() const { return angles_; }
  double Scale() const { return scale_; }
  QPointF Centre() const { return centre_; }

 private:
  struct Camera {
    double x, y, z;
  };
  Camera ToCamera(const ChartPoint3D& p) const;

  Angles angles_;
  ChartPoint3D middle_;
  double cosA_ = 1, sinA_ = 0, cosB_ = 1, sinB_ = 0;
  double focal_ = 0;  // 0: orthogonal
  QPointF centre_;
  double scale_ = 1;
};

}  // namespace velmar
