#pragma once

#include <QLabel>
#include <QPointer>
#include <QStatusBar>
#include <QWidget>
#include <QWindow>
#include <memory>

#include "graph/widgets/graph_window_host.h"
#include "shell/meter_session.h"
#include "shell/status_notifier_watch.h"
#include "shell/widgets/dialog_commands.h"
#include "shell/widgets/main_tabs.h"
#include "shell/widgets/meter_panel.h"
#include "shell/widgets/tray_menu.h"

namespace velmar {

// The main window: the tabs above, the meter panel below, the status bar
// and the tray icon. It runs the meter's session and shows what the
// session publishes. With a tray, closing or minimising it hides it there
// until one of the ways of ending the program is taken; without one it
// stays in the task bar, and closing it ends the program as "&End" does.
// The window is never left where nothing can bring it back.
class MainWindow : public QWidget, public MeterView {
 public:
  using Environment = MeterSession::Environment;

  static const QString kCaption;
  // The question of an end with settings that were changed and not saved.
  static const QString kUnsavedQuestion;
  // What a second start says, after the first one's answer.
  static QString AlreadyRunningText(const QString& answer);

  explicit MainWindow(Environment environment);
  ~MainWindow() override;

  // The start-up sequence; errors are reported, not thrown.
  void Start();
  // The metrics endpoint, when the settings ask for one (after Start).
  void ServeMetrics() { session_.ServeMetrics(); }
  // The error report for everything that escapes a handler.
  void ReportError(const std::exception& error);

  // The ways of ending: "&End" (asks first, and with unsaved settings
  // offers to save them), a signal from the session (no question), "Save
  // settings and Quit", "Discard changes and Quit".
  void EndWithQuestion();
  void EndWithoutQuestion();
  void SaveSettingsAndQuit();
  void DiscardAndQuit();
  void ResetToDefaults();

  // The tray menu's "&Show", "&Hide" and "Stay on &Top".
  void ShowFromTray();
  void HideToTray();
  void ToggleStayOnTop();
  // Brings the window back and to the front, with the xdg-activation token
  // of whoever asked where there is one.
  void ShowMainWindow(const QString& activationToken = QString());
  void HideMainWindow();
  // A later start asks this one to come forward: the answer it is given.
  QString ComeForward(const QString& activationToken);
  // Whether the meter's icon is in a tray now, so that a hidden window can
  // come back through it.
  bool TrayShown() const;

  // The sizer menu, and the meter picture's click while only the top shows.
  void ShowOnlyBottom();
  void ShowOnlyTop();
  void HideFromSizer();
  void RestoreLayout();
  void OpenSizerMenuFromGauge();

  void OpenHelp();
  void OpenWebSite();

  // "3D Graphs" opens the graph menu: live data, averages history, close.
  void OpenGraphMenu();
  void ShowLiveGraph();
  void ShowHistoryGraph();
  void CloseGraph();

  MeterSession& Session() { return session_; }
  DialogCommands& Dialogs() { return dialogs_; }
  MeasurementState& State() { return session_.State(); }
  SettingsList& Settings() { return session_.Settings(); }
  CounterSampler& Sampler() { return session_.Sampler(); }
  TrafficGenerator& Generator() { return session_.Generator(); }
  DayKeyDates& Dates() { return session_.Dates(); }
  AlarmEvaluator& Alarms() { return session_.Alarms(); }
  GraphWindowHost& Graphs() { return graphs_; }
  WindowSizer& Sizer() { return session_.Sizer(); }
  void RecordTick() { session_.RecordTick(); }
  const QStringList& AdapterList() const { return session_.AdapterList(); }

  bool CloseAllowed() const { return closeAllowed_; }
  QString StatusText() const { return statusLabel_->text(); }
  QString TrayHint() const { return tray_.Hint(); }
  QString TrayTip() const { return tray_.Tip(); }
  QString WebPageAddress() const { return webPageAddress_; }
  // Null until a tray has appeared.
  QSystemTrayIcon* TrayIcon() { return tray_.Icon(); }
  QMenu* TrayContextMenu() { return tray_.Menu(); }
  QMenu* GraphMenu() { return panel_->GraphMenu(); }
  bool GaugeOpensMenu() const { return tabs_->GaugeOpensMenu(); }

  // MeterView
  void ResetForStart() override;
  void CloseGraphWindow() override { graphs_.CloseGraph(); }

  // SettingsTarget
  void SetProgramSection(uint8_t section) override { session_.SetSection(section); }
  // Never smaller than the full layout needs at the window's font.
  void SetWindowSize(int width, int height) override;
  QStringList BuildAdapterList() override { return session_.Sampler().BuildAdapterList(); }
  void SetAdapterList(const QStringList& adapters) override { session_.SetAdapterList(adapters); }
  void SetKilobitMode(uint8_t mode) override { State().KilobitMode = mode; }
  void SetSpeedHints(const QString& down, const QString& downAvg, const QString& up,
                     const QString& upAvg) override {
    panel_->SetSpeedHints(down, downAvg, up, upAvg);
  }
  void SetAveragingMode(uint8_t mode) override { State().AveragingMode = mode; }
  void SetTotalDisplay(int value) override { tabs_->TotalDisplay()->SetValue(value); }
  void SetStayOnTop(bool onTop) override;
  void SetAdapterIndex(int16_t index) override { State().AdapterIndex = index; }
  void SetAdapterLabel(const QString& caption) override { panel_->SetAdapterCaption(caption); }
  void SetProxy(const QString& host) override { Generator().SetProxy(host); }
  void SetProxyPort(uint16_t port) override { Generator().SetProxyPort(port); }
  void SetUrl(const QString& url) override { Generator().SetUrl(url); }
  void SetWebPageAddress(const QString& address) override { webPageAddress_ = address; }

  // AnalysisView
  void ShowActivePressed(bool active) override { panel_->ShowActivePressed(active); }
  bool GenerateDown() const override { return panel_->GenerateDown(); }
  void ShowGeneratePressed(bool generate) override { panel_->ShowGeneratePressed(generate); }
  void SetModeButtonsEnabled(bool enabled) override { panel_->SetModeButtonsEnabled(enabled); }
  void SetActiveMenuChecked(bool checked) override { tray_.SetActiveChecked(checked); }
  void SetStatusText(const QString& text) override { statusLabel_->setText(text); }
  void SetTrayHint(const QString& hint) override { tray_.SetHint(hint); }
  void ShowLockPicture(bool locked) override { panel_->ShowLockPicture(locked); }
  void ShowTip(Tip tip) override;
  void ClearActualDisplays() override;
  void ClearAverageDisplays() override;
  void SetTotalDisplay(int64_t value) override;
  bool CalcTimerEnabled() const override { return session_.CalcTimerEnabled(); }
  void SetTimersEnabled(bool enabled) override { session_.SetTimersEnabled(enabled); }
  QString Url() const override { return session_.Generator().Url(); }
  void CancelDownload() override { Generator().CancelDownload(); }

  // ResultDisplays
  void SetValue(Display display, int64_t value) override;
  int64_t Value(Display display) const override;
  // Each control asked for its repaint when its value changed; Qt paints
  // all of them together in the next pass of the event loop. Repainting
  // whole panels here would cost milliseconds a tick for nothing. What is
  // left is the tray tip's speeds.
  void Redraw() override;
  void ShowSpeedUnit(const DisplayUnit& unit) override { panel_->ShowSpeedUnit(unit); }

  // SizerView
  int WindowHeight() const override { return height(); }
  int WindowWidth() const override { return width(); }
  int TabSheetTop() const override { return tabs_->SheetTop(); }
  int BottomPanelTop() const override { return panel_->y(); }
  void SetBottomPanelTop(int top) override;
  int BottomPanelHeight() const override { return panel_->height(); }
  int StatusBarHeight() const override { return statusBar_->height(); }
  void SetMainPanelVisible(bool visible) override { tabs_->Gauge()->setVisible(visible); }
  void SetBottomPanelVisible(bool visible) override { panel_->setVisible(visible); }
  void SetMainPanelOpensMenu(bool opens) override { tabs_->SetGaugeOpensMenu(opens); }

  // PlacementWindow
  QRect Placement() const override { return geometry(); }
  void SetPlacement(const QRect& rect) override;
  uint8_t PlacementState() const override;
  void SetPlacementState(uint8_t state) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  MainTabs::Commands TabCommands();
  MeterPanel::Commands PanelCommands();
  TrayMenu::Commands TrayCommands();
  void BuildStatusBar();
  void ShowSplash();
  void Shutdown();
  void PopupSizerMenu(const QPoint& at);
  // Asks before the program ends, and saves first when the user says so.
  // True: end now.
  bool ConfirmEnd();
  // Writes the settings; a failure is told, not raised.
  void SaveSettingsTellingFailure();
  // Makes the tray icon once a tray is there to show it.
  void InstallTrayIcon();
  void WatchWindowState();
  void Minimised();
  QSize FitToLayout(QSize requested) const;

  MeterSession session_;
  // After the session: the graph window goes before the publication.
  GraphWindowHost graphs_;
  DialogCommands dialogs_{session_, *this, this};
  MainTabs* tabs_ = nullptr;
  MeterPanel* panel_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  // The full layout's size at the window's font.
  QSize fullSize_;
  TrayMenu tray_;
  enum class TrayKind { kNone, kStatusNotifier, kXEmbed };
  TrayKind trayKind_ = TrayKind::kNone;
  StatusNotifierWatch trayWatch_;
  QPointer<QWindow> watchedWindow_;
  const bool onWayland_;

  bool stayOnTop_ = false;
  bool closeAllowed_ = false;
  bool firstShow_ = true;
  bool shutDown_ = false;
  bool minimizeToTray_ = true;
  bool trayEnabled_ = true;
  QString webPageAddress_;
};

}  // namespace velmar
