#include "shell/window_sizer.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// The window as laid out: 281 x 496, the tab sheet 25 px into the tab
// control, the bottom panel at 236, 219 high.
class FakeSizerView : public SizerView {
 public:
  int WindowHeight() const override { return height; }
  int WindowWidth() const override { return width; }
  void SetWindowSize(int w, int h) override {
    width = w;
    height = h;
  }
  int TabSheetTop() const override { return 25; }
  int BottomPanelTop() const override { return bottomTop; }
  void SetBottomPanelTop(int t) override { bottomTop = t; }
  int BottomPanelHeight() const override { return 219; }
  void SetMainPanelVisible(bool v) override { mainVisible = v; }
  void SetBottomPanelVisible(bool v) override { bottomVisible = v; }
  void SetMainPanelOpensMenu(bool o) override { opensMenu = o; }

  int width = 281, height = 496, bottomTop = 236;
  bool mainVisible = true, bottomVisible = true, opensMenu = false;
};

TEST(WindowSizerTest, TheThreeLayoutsAndTheWayBack) {
  FakeSizerView view;
  WindowSizer sizer(view);
  sizer.Record();

  sizer.OnlyBottom();
  EXPECT_TRUE(sizer.SizerActive());
  EXPECT_FALSE(view.mainVisible);
  EXPECT_EQ(view.bottomTop, 25);
  EXPECT_EQ(view.height, 25 + 25 + 219 + 20);
  EXPECT_FALSE(view.opensMenu);

  // The other reduced layout restores first.
  sizer.OnlyTop();
  EXPECT_TRUE(view.mainVisible);
  EXPECT_FALSE(view.bottomVisible);
  EXPECT_EQ(view.bottomTop, 236) << "restored before the top-only layout";
  EXPECT_EQ(view.height, 25 + 236);
  EXPECT_TRUE(view.opensMenu);

  sizer.Restore();
  EXPECT_FALSE(sizer.SizerActive());
  EXPECT_EQ(view.height, 496);
  EXPECT_EQ(view.width, 281);
  EXPECT_TRUE(view.bottomVisible);
  EXPECT_FALSE(view.opensMenu) << "after Restore a click on the panel does nothing";

  // Restore in the full layout changes nothing, even a size set meanwhile.
  view.height = 600;
  sizer.Restore();
  EXPECT_EQ(view.height, 600);
}

}  // namespace
}  // namespace velmar
