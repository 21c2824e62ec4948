#include "shell/window_sizer.h"

namespace velmar {

void WindowSizer::Record() {
  savedHeight_ = view_.WindowHeight();
  savedWidth_ = view_.WindowWidth();
  savedBottomTop_ = view_.BottomPanelTop();
  active_ = false;
}

void WindowSizer::OnlyBottom() {
  Restore();
  // The full layout as it is now, not as it was at start-up: the window
  // may have been resized since (by the settings or by the user).
  Record();
  view_.SetMainPanelVisible(false);
  const int offset = view_.TabSheetTop();
  view_.SetBottomPanelTop(offset);
  view_.SetWindowSize(view_.WindowWidth(), offset + view_.BottomPanelTop() +
                                               view_.BottomPanelHeight() + view_.StatusBarHeight());
  active_ = true;
}

void WindowSizer::OnlyTop() {
  Restore();
  Record();
  view_.SetBottomPanelVisible(false);
  view_.SetWindowSize(view_.WindowWidth(), view_.TabSheetTop() + view_.BottomPanelTop());
  view_.SetMainPanelOpensMenu(true);
  active_ = true;
}

void WindowSizer::Restore() {
  if (!active_) {
    return;
  }
  view_.SetWindowSize(savedWidth_, savedHeight_);
  view_.SetMainPanelVisible(true);
  view_.SetBottomPanelVisible(true);
  view_.SetMainPanelOpensMenu(false);
  view_.SetBottomPanelTop(savedBottomTop_);
  active_ = false;
}

}  // namespace velmar
