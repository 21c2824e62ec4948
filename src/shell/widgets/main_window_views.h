#pragma once

// The main window's adapters: each implements one interface the session
// reaches the window through, over the window's own parts. Only the main
// window's sources include this.
#include "shell/widgets/main_window.h"

namespace velmar {

// The settings applied to the window and the meter behind it.
class MainWindow::SettingsPart : public SettingsTarget {
 public:
  explicit SettingsPart(MainWindow& window) : w_(window) {}

  void SetProgramSection(uint8_t section) override { w_.session_.SetSection(section); }
  // Never smaller than the full layout needs at the window's font.
  void SetWindowSize(int width, int height) override;
  QStringList BuildAdapterList() override {
    return w_.session_.Core().Sampler().BuildAdapterList();
  }
  void SetAdapterList(const QStringList& adapters) override {
    w_.session_.SetAdapterList(adapters);
  }
  void SetKilobitMode(uint8_t mode) override { w_.session_.Core().SetKilobitMode(mode); }
  void SetSpeedHints(const QString& down, const QString& downAvg, const QString& up,
                     const QString& upAvg) override;
  void SetAveragingMode(uint8_t mode) override { w_.session_.Core().SetAveragingMode(mode); }
  void SetTotalDisplay(int value) override;
  void SetStayOnTop(bool onTop) override { w_.SetStayOnTop(onTop); }
  void SetAdapterIndex(int16_t index) override { w_.session_.Core().SetAdapterIndex(index); }
  void SetAdapterLabel(const QString& caption) override;
  void SetProxy(const QString& host) override { w_.session_.SetProxy(host); }
  void SetProxyPort(uint16_t port) override { w_.session_.SetProxyPort(port); }
  void SetUrl(const QString& url) override { w_.session_.SetUrl(url); }
  void SetWebPageAddress(const QString& address) override { w_.webPageAddress_ = address; }

 private:
  MainWindow& w_;
};

// The mode buttons, the status bar, the tray and the timers as ACTIVE,
// SLEEP, Spy and Generate drive them.
class MainWindow::AnalysisPart : public AnalysisView {
 public:
  explicit AnalysisPart(MainWindow& window) : w_(window) {}

  void ShowActivePressed(bool active) override;
  bool GenerateDown() const override;
  void ShowGeneratePressed(bool generate) override;
  void SetModeButtonsEnabled(bool enabled) override;
  void SetActiveMenuChecked(bool checked) override { w_.tray_.SetActiveChecked(checked); }
  void SetStatusText(const QString& text) override { w_.statusLabel_->setText(text); }
  void SetTrayHint(const QString& hint) override { w_.tray_.SetHint(hint); }
  void ShowLockPicture(bool locked) override;
  void ShowTip(Tip tip) override { w_.ShowTip(tip); }
  void ClearActualDisplays() override;
  void ClearAverageDisplays() override;
  void SetTotalDisplay(int64_t value) override;
  bool CalcTimerEnabled() const override { return w_.session_.CalcTimerEnabled(); }
  void SetTimersEnabled(bool enabled) override { w_.session_.SetTimersEnabled(enabled); }
  QString Url() const override { return w_.session_.Generator().Url(); }
  void CancelDownload() override { w_.session_.CancelDownload(); }

 private:
  MainWindow& w_;
};

// The speed displays, the indicators and the total.
class MainWindow::DisplaysPart : public ResultDisplays {
 public:
  explicit DisplaysPart(MainWindow& window) : w_(window) {}

  void SetValue(Display display, int64_t value) override;
  int64_t Value(Display display) const override;
  // Each control asked for its repaint when its value changed; Qt paints
  // all of them together in the next pass of the event loop. Repainting
  // whole panels here would cost milliseconds a tick for nothing. What is
  // left is the tray tip's speeds.
  void Redraw() override;
  void ShowSpeedUnit(const DisplayUnit& unit) override;

 private:
  MainWindow& w_;
};

// The window's place, size and state as the key store keeps them.
class MainWindow::PlacementPart : public PlacementWindow {
 public:
  explicit PlacementPart(MainWindow& window) : w_(window) {}

  QRect Placement() const override { return w_.geometry(); }
  void SetPlacement(const QRect& rect) override;
  uint8_t PlacementState() const override;
  void SetPlacementState(uint8_t state) override;

 private:
  MainWindow& w_;
};

// The three layouts of the sizer menu.
class MainWindow::SizerPart : public SizerView {
 public:
  explicit SizerPart(MainWindow& window) : w_(window) {}

  int WindowHeight() const override { return w_.height(); }
  int WindowWidth() const override { return w_.width(); }
  void SetWindowSize(int width, int height) override;
  int TabSheetTop() const override;
  int BottomPanelTop() const override;
  void SetBottomPanelTop(int top) override;
  int BottomPanelHeight() const override;
  int StatusBarHeight() const override { return w_.statusBar_->height(); }
  void SetMainPanelVisible(bool visible) override;
  void SetBottomPanelVisible(bool visible) override;
  void SetMainPanelOpensMenu(bool opens) override;

 private:
  MainWindow& w_;
};

// The window's own part of starting and stopping.
class MainWindow::LifecyclePart : public WindowLifecycle {
 public:
  explicit LifecyclePart(MainWindow& window) : w_(window) {}

  void ResetForStart() override;
  void CloseForShutdown() override;
  void ReportError(const std::exception& error) override { w_.ReportError(error); }

 private:
  MainWindow& w_;
};

struct MainWindow::Views {
  explicit Views(MainWindow& window)
      : settings(window),
        analysis(window),
        displays(window),
        placement(window),
        sizer(window),
        lifecycle(window) {}

  MeterView Meter() { return {settings, analysis, displays, placement, lifecycle}; }

  SettingsPart settings;
  AnalysisPart analysis;
  DisplaysPart displays;
  PlacementPart placement;
  SizerPart sizer;
  LifecyclePart lifecycle;
};

}  // namespace velmar
