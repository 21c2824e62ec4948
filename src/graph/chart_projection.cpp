#include "graph/chart_projection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace velmar {

namespace {

double Radians(double degrees) {
  return degrees * std::numbers::pi / 180.0;
}

std::array<ChartPoint3D, 8> Corners(const ChartBox& b) {
  return {{{b.x0, b.y0, b.z0},
           {b.x1, b.y0, b.z0},
           {b.x1, b.y1, b.z0},
           {b.x0, b.y1, b.z0},
           {b.x0, b.y0, b.z1},
           {b.x1, b.y0, b.z1},
           {b.x1, b.y1, b.z1},
           {b.x0, b.y1, b.z1}}};
}

}  // namespace

ChartProjection::ChartProjection(const Angles& angles, const ChartBox& box, QPointF centre,
                                 double scale)
    : angles_(angles), centre_(centre), scale_(scale) {
  middle_ = {(box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2, (box.z0 + box.z1) / 2};
  // The charting convention turns the box the other way round from the
  // mathematical one: 344 shows the right side, so the angle is negated.
  const double a = -Radians(angles.rotation);
  const double b = -Radians(angles.elevation);
  cosA_ = std::cos(a);
  sinA_ = std::sin(a);
  cosB_ = std::cos(b);
  sinB_ = std::sin(b);
  if (!angles.orthogonal) {
    const double dx = box.x1 - box.x0, dy = box.y1 - box.y0, dz = box.z1 - box.z0;
    const double halfDiagonal = std::sqrt(dx * dx + dy * dy + dz * dz) / 2;
    // Never closer than 1.5 half-diagonals: the viewer stays outside the box.
    const double percent = std::clamp(angles.perspectivePercent, 1.0, 100.0 / 3.0);
    focal_ = std::max(halfDiagonal, 1.0) * 50.0 / percent;
  }
}

ChartProjection::Camera ChartProjection::ToCamera(const ChartPoint3D& p) const {
  const double u = p.x - middle_.x, v = p.y - middle_.y, w = p.z - middle_.z;
  const double x1 = u * cosA_ + w * sinA_;
  const double z1 = -u * sinA_ + w * cosA_;
  const double y2 = v * cosB_ + z1 * sinB_;
  const double z2 = -v * sinB_ + z1 * cosB_;
  return {x1, y2, z2};
}

QPointF ChartProjection::Project(const ChartPoint3D& p) const {
  const Camera c = ToCamera(p);
  const double f = focal_ > 0 ? focal_ / (focal_ + c.z) : 1.0;
  return {centre_.x() + scale_ * c.x * f, centre_.y() - scale_ * c.y * f};
}

double ChartProjection::Depth(const ChartPoint3D& p) const {
  const Camera c = ToCamera(p);
  if (focal_ <= 0) {
    return c.z;
  }
  // Distance from the eye, which stands at (0, 0, -focal).
  return std::sqrt(c.x * c.x + c.y * c.y + (c.z + focal_) * (c.z + focal_));
}

std::optional<QPointF> ChartProjection::Unproject(QPointF screen, double z) const {
  if (scale_ == 0) {
    return std::nullopt;
  }
  // Screen position relative to the centre, in world units, y up.
  const double X = (screen.x() - centre_.x()) / scale_;
  const double Y = -(screen.y() - centre_.y()) / scale_;
  const double w = z - middle_.z;
  // x_cam = X (1 + z_cam / F) and y_cam = Y (1 + z_cam / F) are linear in
  // the plane's (u, v); with an orthogonal view 1 / F is 0.
  const double g = focal_ > 0 ? 1.0 / focal_ : 0.0;
  // x_cam = u cA + w sA,  z1 = -u sA + w cA,  y_cam = v cB + z1 sB,
  // z_cam = -v sB + z1 cB.
  const double a11 = cosA_ + X * g * sinA_ * cosB_;
  const double a12 = X * g * sinB_;
  const double b1 = X - w * sinA_ + X * g * w * cosA_ * cosB_;
  const double a21 = -sinA_ * sinB_ + Y * g * sinA_ * cosB_;
  const double a22 = cosB_ + Y * g * sinB_;
  const double b2 = Y - w * cosA_ * sinB_ + Y * g * w * cosA_ * cosB_;
  const double det = a11 * a22 - a12 * a21;
  if (std::abs(det) < 1e-9) {
    return std::nullopt;
  }
  const double u = (b1 * a22 - a12 * b2) / det;
  const double v = (a11 * b2 - b1 * a21) / det;
  return QPointF(u + middle_.x, v + middle_.y);
}

QRectF ChartProjection::Bounds(const ChartBox& box) const {
  double left = 1e300, right = -1e300, top = 1e300, bottom = -1e300;
  for (const ChartPoint3D& c : Corners(box)) {
    const QPointF p = Project(c);
    left = std::min(left, p.x());
    right = std::max(right, p.x());
    top = std::min(top, p.y());
    bottom = std::max(bottom, p.y());
  }
  return QRectF(QPointF(left, top), QPointF(right, bottom));
}

ChartProjection ChartProjection::Fitted(const Angles& angles, const ChartBox& box,
                                        const QRectF& area, double zoomPercent,
                                        double horizontalOffset, double verticalOffset) {
  // The projection is proportional to the scale about its centre (the
  // perspective distance grows with the box), so one trial at scale 1
  // tells the scale and the shift that fit the box into the area.
  const ChartProjection unit(angles, box, QPointF(0, 0), 1.0);
  const QRectF bounds = unit.Bounds(box);
  double fit = 1.0;
  if (bounds.width() > 0 && bounds.height() > 0) {
    fit = std::min(area.width() / bounds.width(), area.height() / bounds.height());
  }
  fit = std::max(fit, 0.0);
  const QPointF origin = area.center() - fit * bounds.center();
  const double zoom = zoomPercent / 100.0;
  const QPointF centre =
      area.center() + zoom * (origin - area.center()) + QPointF(horizontalOffset, verticalOffset);
  return ChartProjection(angles, box, centre, fit * zoom);
}

bool ChartProjection::FacesViewer(const QPolygonF& face) {
  // Counter-clockwise with y up is clockwise with the screen's y down,
  // which gives a negative shoelace sum.
  double twiceArea = 0;
  for (int i = 0; i < face.size(); ++i) {
    const QPointF& a = face[i];
    const QPointF& b = face[(i + 1) % face.size()];
    twiceArea += a.x() * b.y() - b.x() * a.y();
  }
  return twiceArea < -1e-9;
}

}  // namespace velmar
