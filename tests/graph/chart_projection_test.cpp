#include "graph/chart_projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace velmar {
namespace {

const ChartBox kBox{0, 200, 0, 100, 0, 50};

ChartProjection::Angles View(double rotation, double elevation, bool orthogonal = true) {
  ChartProjection::Angles a;
  a.rotation = rotation;
  a.elevation = elevation;
  a.orthogonal = orthogonal;
  return a;
}

// The six faces of kBox, corners counter-clockwise as seen from outside.
struct Faces {
  QPolygonF front, back, left, right, top, bottom;
};

Faces FacesOf(const ChartProjection& p, const ChartBox& b) {
  const auto P = [&](double x, double y, double z) { return p.Project(x, y, z); };
  Faces f;
  f.front = {P(b.x0, b.y0, b.z0), P(b.x1, b.y0, b.z0), P(b.x1, b.y1, b.z0), P(b.x0, b.y1, b.z0)};
  f.back = {P(b.x1, b.y0, b.z1), P(b.x0, b.y0, b.z1), P(b.x0, b.y1, b.z1), P(b.x1, b.y1, b.z1)};
  f.left = {P(b.x0, b.y0, b.z1), P(b.x0, b.y0, b.z0), P(b.x0, b.y1, b.z0), P(b.x0, b.y1, b.z1)};
  f.right = {P(b.x1, b.y0, b.z0), P(b.x1, b.y0, b.z1), P(b.x1, b.y1, b.z1), P(b.x1, b.y1, b.z0)};
  f.top = {P(b.x0, b.y1, b.z0), P(b.x1, b.y1, b.z0), P(b.x1, b.y1, b.z1), P(b.x0, b.y1, b.z1)};
  f.bottom = {P(b.x0, b.y0, b.z1), P(b.x1, b.y0, b.z1), P(b.x1, b.y0, b.z0), P(b.x0, b.y0, b.z0)};
  return f;
}

TEST(ChartProjectionTest, FrontViewShowsTheFrontFaceUnturned) {
  for (double rotation : {0.0, 360.0}) {
    const ChartProjection p(View(rotation, 360), kBox, QPointF(300, 200), 2.0);
    // The box's centre lands on the given centre; x grows right, y up
    // (down on the screen), depth does not move an orthogonal front view.
    const QPointF c = p.Project(100, 50, 25);
    EXPECT_NEAR(c.x(), 300, 1e-9);
    EXPECT_NEAR(c.y(), 200, 1e-9);
    const QPointF corner = p.Project(200, 100, 0);
    EXPECT_NEAR(corner.x(), 300 + 2 * 100, 1e-9);
    EXPECT_NEAR(corner.y(), 200 - 2 * 50, 1e-9);
    const QPointF behind = p.Project(200, 100, 50);
    EXPECT_NEAR(behind.x(), corner.x(), 1e-9);
    EXPECT_NEAR(behind.y(), corner.y(), 1e-9);
    const Faces f = FacesOf(p, kBox);
    EXPECT_TRUE(ChartProjection::FacesViewer(f.front));
    EXPECT_FALSE(ChartProjection::FacesViewer(f.back));
    // Side faces are seen edge-on: no area, not drawn.
    EXPECT_FALSE(ChartProjection::FacesViewer(f.left));
    EXPECT_FALSE(ChartProjection::FacesViewer(f.top));
  }
}

TEST(ChartProjectionTest, TurnedViewsShowTheFacesTowardsTheViewer) {
  for (bool orthogonal : {true, false}) {
    // 344/342: the right side and the top face the viewer; the back goes
    // up and to the right.
    const ChartProjection p(View(344, 342, orthogonal), kBox, QPointF(0, 0), 1.0);
    Faces f = FacesOf(p, kBox);
    EXPECT_TRUE(ChartProjection::FacesViewer(f.front));
    EXPECT_TRUE(ChartProjection::FacesViewer(f.right));
    EXPECT_TRUE(ChartProjection::FacesViewer(f.top));
    EXPECT_FALSE(ChartProjection::FacesViewer(f.back));
    EXPECT_FALSE(ChartProjection::FacesViewer(f.left));
    EXPECT_FALSE(ChartProjection::FacesViewer(f.bottom));
    EXPECT_GT(p.Project(0, 0, 50).x(), p.Project(0, 0, 0).x());
    EXPECT_LT(p.Project(0, 0, 50).y(), p.Project(0, 0, 0).y());
    // The near corner (front, right, top) is nearer than the far one.
    EXPECT_LT(p.Depth({200, 100, 0}), p.Depth({0, 0, 50}));

    // The mirror view: 16/18 show the left side and the bottom.
    const ChartProjection m(View(16, 18, orthogonal), kBox, QPointF(0, 0), 1.0);
    f = FacesOf(m, kBox);
    EXPECT_TRUE(ChartProjection::FacesViewer(f.front));
    EXPECT_TRUE(ChartProjection::FacesViewer(f.left));
    EXPECT_TRUE(ChartProjection::FacesViewer(f.bottom));
    EXPECT_FALSE(ChartProjection::FacesViewer(f.right));
    EXPECT_FALSE(ChartProjection::FacesViewer(f.top));

    // Seen from behind (rotation 180) the back faces the viewer.
    const ChartProjection b(View(180, 0, orthogonal), kBox, QPointF(0, 0), 1.0);
    f = FacesOf(b, kBox);
    EXPECT_TRUE(ChartProjection::FacesViewer(f.back));
    EXPECT_FALSE(ChartProjection::FacesViewer(f.front));
  }
}

TEST(ChartProjectionTest, PerspectiveMakesFarThingsSmaller) {
  const ChartProjection ortho(View(0, 0, true), kBox, QPointF(0, 0), 1.0);
  const ChartProjection persp(View(0, 0, false), kBox, QPointF(0, 0), 1.0);
  const auto width = [](const ChartProjection& p, double z) {
    return p.Project(200, 50, z).x() - p.Project(0, 50, z).x();
  };
  EXPECT_NEAR(width(ortho, 0), width(ortho, 50), 1e-9);
  EXPECT_GT(width(persp, 0), width(persp, 50));
  // The plane through the centre keeps its size.
  EXPECT_NEAR(width(persp, 25), 200, 1e-9);
  // A stronger perspective shrinks the back more.
  ChartProjection::Angles strong = View(0, 0, false);
  strong.perspectivePercent = 30;
  const ChartProjection s(strong, kBox, QPointF(0, 0), 1.0);
  EXPECT_LT(width(s, 50), width(persp, 50));
}

TEST(ChartProjectionTest, UnprojectFindsThePointOnThePlane) {
  const std::vector<ChartProjection::Angles> views = {
      View(0, 0), View(344, 342), View(344, 342, false), View(30, -40, false), View(-170, 100)};
  for (const auto& view : views) {
    const ChartProjection p(view, kBox, QPointF(210, 160), 1.7);
    for (double z : {0.0, 25.0, 50.0}) {
      for (const QPointF world : {QPointF(0, 0), QPointF(200, 100), QPointF(37.5, 81.25)}) {
        const QPointF screen = p.Project(world.x(), world.y(), z);
        const std::optional<QPointF> back = p.Unproject(screen, z);
        ASSERT_TRUE(back.has_value()) << view.rotation << "/" << view.elevation;
        EXPECT_NEAR(back->x(), world.x(), 1e-6) << view.rotation << "/" << view.elevation;
        EXPECT_NEAR(back->y(), world.y(), 1e-6) << view.rotation << "/" << view.elevation;
      }
    }
  }
  // A plane seen edge-on and a chart scaled to nothing have no answer.
  const ChartProjection edgeOn(View(90, 0), kBox, QPointF(0, 0), 1.0);
  EXPECT_FALSE(edgeOn.Unproject(QPointF(3, 4), 0).has_value());
  const ChartProjection nothing(View(344, 342, false), kBox, QPointF(10, 10), 0.0);
  EXPECT_FALSE(nothing.Unproject(QPointF(10, 10), 0).has_value());
}

TEST(ChartProjectionTest, FittedBoxFillsTheAreaAndFollowsZoomAndOffsets) {
  const QRectF area(20, 30, 300, 200);
  for (const auto& view : {View(0, 0), View(344, 342, false), View(100, 200, false)}) {
    const ChartProjection p = ChartProjection::Fitted(view, kBox, area, 100, 0, 0);
    const QRectF b = p.Bounds(kBox);
    EXPECT_GE(b.left(), area.left() - 1e-6);
    EXPECT_LE(b.right(), area.right() + 1e-6);
    EXPECT_GE(b.top(), area.top() - 1e-6);
    EXPECT_LE(b.bottom(), area.bottom() + 1e-6);
    // Tight in one direction, centred in both.
    EXPECT_TRUE(std::abs(b.width() - area.width()) < 1e-6 ||
                std::abs(b.height() - area.height()) < 1e-6);
    EXPECT_NEAR(b.center().x(), area.center().x(), 1e-6);
    EXPECT_NEAR(b.center().y(), area.center().y(), 1e-6);

    // Zoom 50 halves the picture about the area's centre; offsets move it
    // right and down.
    const QRectF half = ChartProjection::Fitted(view, kBox, area, 50, 0, 0).Bounds(kBox);
    EXPECT_NEAR(half.width(), b.width() / 2, 1e-6);
    EXPECT_NEAR(half.center().x(), area.center().x(), 1e-6);
    const QRectF moved = ChartProjection::Fitted(view, kBox, area, 100, 7, 10).Bounds(kBox);
    EXPECT_NEAR(moved.left(), b.left() + 7, 1e-6);
    EXPECT_NEAR(moved.top(), b.top() + 10, 1e-6);

    // Zoom 0 collapses everything into the centre (moved by the offsets).
    const ChartProjection zero = ChartProjection::Fitted(view, kBox, area, 0, 0, 10);
    EXPECT_EQ(zero.Scale(), 0);
    for (const ChartPoint3D c : {ChartPoint3D{0, 0, 0}, ChartPoint3D{200, 100, 50}}) {
      EXPECT_NEAR(zero.Project(c).x(), area.center().x(), 1e-9);
      EXPECT_NEAR(zero.Project(c).y(), area.center().y() + 10, 1e-9);
    }
  }
}

}  // namespace
}  // namespace velmar
