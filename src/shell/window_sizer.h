#pragma once

namespace velmar {

// What the sizer moves: the window, the main tab's panel and the bottom
// panel.
class SizerView {
 public:
  virtual ~SizerView() = default;
  virtual int WindowHeight() const = 0;
  virtual int WindowWidth() const = 0;
  virtual void SetWindowSize(int width, int height) = 0;
  // Where the main tab's sheet starts inside the tab control.
  virtual int TabSheetTop() const = 0;
  virtual int BottomPanelTop() const = 0;
  virtual void SetBottomPanelTop(int top) = 0;
  virtual int BottomPanelHeight() const = 0;
  // The status bar under the bottom panel.
  virtual int StatusBarHeight() const { return 20; }
  virtual void SetMainPanelVisible(bool visible) = 0;
  virtual void SetBottomPanelVisible(bool visible) = 0;
  // Whether a click on the main tab's panel opens the sizer menu.
  virtual void SetMainPanelOpensMenu(bool opens) = 0;
};

// The three layouts of the window: full, only the bottom (the speed
// displays), only the top (the tabs).
class WindowSizer {
 public:
  explicit WindowSizer(SizerView& view) : view_(view) {}

  // Remembers the full layout.
  void Record();
  void OnlyBottom();
  void OnlyTop();
  // Back to the full layout; nothing when it is shown already.
  void Restore();

  bool SizerActive() const { return active_; }

 private:
  SizerView& view_;
  bool active_ = false;
  int savedHeight_ = 0;
  int savedWidth_ = 0;
  int savedBottomTop_ = 0;
};

}  // namespace velmar
