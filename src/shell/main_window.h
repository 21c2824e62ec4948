#pragma once

#include <QButtonGroup>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "alarm_evaluator.h"
#include "analysis_control.h"
#include "averaging_engine.h"
#include "counter_sampler.h"
#include "day_key_dates.h"
#include "graph_window_host.h"
#include "history_commands.h"
#include "history_maintenance.h"
#include "history_recorder.h"
#include "indicator.h"
#include "interface_table.h"
#include "lcd_display.h"
#include "mail_sender.h"
#include "measurement_state.h"
#include "report_commands.h"
#include "result_publisher.h"
#include "settings_list.h"
#include "settings_loader.h"
#include "settings_target.h"
#include "setup_host.h"
#include "tick_host.h"
#include "traffic_generator.h"
#include "window_placement.h"
#include "window_sizer.h"

namespace velmar {

class KeyStore;

// The main window. It owns the measurement and wires its controls to the
// plain classes that do the work.
class MainWindow : public QWidget,
                   public SettingsTarget,
                   public TickHost,
                   public AnalysisView,
                   public ResultDisplays,
                   public PlacementWindow,
                   public SizerView,
                   public AlarmActions,
                   public SetupHost {
 public:
  struct Environment {
    QString agentLibrary;    // the MIB-II agent
    QString settingsFile;    // Velmarsettings.ini
    QString executablePath;  // for the autostart entry
    QString autostartEntry;  // the XDG desktop entry
    const TickClock* clock = &SystemClock();
  };

  static const QString kCaption;

  explicit MainWindow(Environment environment);
  ~MainWindow() override;

  // The creation steps, in order; errors are reported, not thrown.
  void FormCreate();
  // The error report for everything that escapes a handler.
  void ExceptionHandler(const std::exception& error);

  // Handlers reachable from outside (tray, tests).
  void End1Click();
  void Show1Click();
  void Hide1Click();
  void StayonTop1Click();
  void BitBtn1Click();  // Save settings and Quit
  void BitBtn2Click();  // Discard changes and Quit
  void BitBtn9Click();  // Reset to defaults
  void BitBtn6Click();  // the setup wizard
  void BitBtn7Click();  // the detailed setup
  // Ends the program as "&End" does, without asking (the session ends).
  void EndWithoutQuestion();
  void ShowMainWindow();
  void HideMainWindow();

  MeasurementState& State() { return state_; }
  SettingsList& Settings() override { return settings_; }
  CounterSampler& Sampler() { return sampler_; }
  bool CloseAllowed() const { return closeAllowed_; }
  QString StatusText() const;
  QString TrayHint() const { return trayHint_; }
  QString WebPageAddress() const { return webPageAddress_; }
  QString Url() const override { return generator_.Url(); }
  QSystemTrayIcon* TrayIcon() { return trayIcon_.get(); }
  const QStringList& Adapterlist() const override { return adapterlist_; }

  // SetupHost (the rest is shared with SettingsTarget)
  bool AnalysisRunning() const override { return state_.AnalysisActive != 0; }
  uint8_t KilobitMode() const override { return state_.KilobitMode; }
  void SetSpeedHintsFor(uint8_t kilobitMode) override;
  int16_t AdapterIndex() const override { return state_.AdapterIndex; }
  void ApplyProxyFromSettings() override { loader_.ApplyProxy(); }
  void ReloadSettings() override;
  void WriteAutostart(bool enabled) override;
  void ReportError(const std::exception& error) override { ExceptionHandler(error); }
  TrafficGenerator& Generator() { return generator_; }

  // SettingsTarget
  void SetProgramSection(uint8_t section) override { state_.ProgramSection = section; }
  void SetWindowSize(int width, int height) override;
  QStringList BuildAdapterList() override { return sampler_.BuildAdapterList(); }
  void SetAdapterList(const QStringList& adapters) override { adapterlist_ = adapters; }
  void SetKilobitMode(uint8_t mode) override { state_.KilobitMode = mode; }
  void SetSpeedHints(const QString& down, const QString& downAvg, const QString& up,
                     const QString& upAvg) override;
  void SetAveragingMode(uint8_t mode) override { state_.AveragingMode = mode; }
  void SetTotalDisplay(int value) override { TrafficLCD->SetValue(value); }
  void SetStayOnTop(bool onTop) override;
  void SetAdapterIndex(int16_t index) override { state_.AdapterIndex = index; }
  void SetAdapterLabel(const QString& caption) override { AdapterLabel->setText(caption); }
  void SetProxy(const QString& host) override { generator_.SetProxy(host); }
  void SetProxyPort(uint16_t port) override { generator_.SetProxyPort(port); }
  void SetUrl(const QString& url) override { generator_.SetUrl(url); }
  void SetWebPageAddress(const QString& address) override { webPageAddress_ = address; }

  // TickHost
  void SetCalcTimerEnabled(bool enabled) override;
  void StartDownload() override { generator_.StartDownload(); }
  void PublishResults(double upstream, double downstream) override;
  void HandleException(const std::exception& error) override { ExceptionHandler(error); }

  // AnalysisView
  void ShowActivePressed(bool active) override;
  bool GenerateDown() const override { return SniffOff->isChecked(); }
  void ShowGeneratePressed(bool generate) override;
  void SetModeButtonsEnabled(bool enabled) override;
  void SetActiveMenuChecked(bool checked) override { Active1->setChecked(checked); }
  void SetStatusText(const QString& text) override;
  void SetTrayHint(const QString& hint) override;
  void ShowLockPicture(bool locked) override;
  void ShowTip(uint8_t tip) override;
  void ClearActualDisplays() override;
  void ClearAverageDisplays() override;
  void SetTotalDisplay(int64_t value) override { TrafficLCD->SetValue(static_cast<int>(value)); }
  bool CalcTimerEnabled() const override { return CalcIntervalTimer.isActive(); }
  void SetTimersEnabled(bool enabled) override;
  void CancelDownload() override { generator_.CancelDownload(); }

  // ResultDisplays
  void SetValue(Display display, int64_t value) override;
  int64_t Value(Display display) const override;
  void Redraw() override;

  // SizerView
  int WindowHeight() const override { return height(); }
  int WindowWidth() const override { return width(); }
  int TabSheetTop() const override;
  int BottomPanelTop() const override { return Panel6->y(); }
  void SetBottomPanelTop(int top) override;
  int BottomPanelHeight() const override { return Panel6->height(); }
  void SetMainPanelVisible(bool visible) override { Panel1->setVisible(visible); }
  void SetBottomPanelVisible(bool visible) override { Panel6->setVisible(visible); }
  void SetMainPanelOpensMenu(bool opens) override { panel1OpensMenu_ = opens; }

  // The sizer menu's handlers and the help and web-page commands.
  void OnlyLCDDisplays1Click();
  void OnlyTopofWindow1Click();
  void Hide2Click();
  void DontChange1Click();
  void Panel1Click();
  void BitBtn3Click();
  void BitBtn4Click();
  // AlarmActions
  void Beep() override;
  void SendMail(const QString& recipient, const QString& message) override;
  void Open(const QString& text) override;
  void AlarmsbuttonClick();
  void NetstatbuttonClick();
  // The 3D graph: "3D Graphs" opens ChartMenu.
  void ShowGraphClick();
  void ShowActualData1Click();
  void Show2Click();
  void Close1Click();
  GraphWindowHost& Graphs() { return graphs_; }
  QMenu* ChartMenuForTest() { return ChartMenu.get(); }
  AlarmEvaluator& Alarms() { return evaluator_; }

  // History maintenance and the recorder's tick.
  void Probutton4Click();
  void ProButton5Click();
  void Probutton3Click();
  // "Report Profile Setup Wizard" and "Generate Report".
  void Probutton1Click() {
    state_.ProgramSection = 43;
    reports_.EditProfile(this);
  }
  void Probutton2Click() {
    state_.ProgramSection = 63;
    reports_.GenerateReport(store_, state_.KilobitMode);
  }
  ReportCommands& Reports() { return reports_; }
  void RecordTick();
  DayKeyDates& Dates() { return dates_; }
  QTimer& HistTimer() { return HistIntervalTimer; }
  WindowSizer& Sizer() { return sizer_; }
  bool Panel1OpensMenu() const { return panel1OpensMenu_; }

  // PlacementWindow
  QRect Placement() const override;
  void SetPlacement(const QRect& rect) override;
  uint8_t PlacementState() const override;
  void SetPlacementState(uint8_t state) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildTray();
  QWidget* BuildMainTab();
  QWidget* BuildSettingsTab();
  QWidget* BuildReportingTab();
  QWidget* BuildExitTab();
  void BuildBottomPanel();
  void InitMainState();
  void ShowSplash();
  void FormShow();
  void Shutdown();
  void Guarded(const std::function<void()>& step);
  LcdDisplay* Lcd(Display display) const;
  void OpenHelp();
  void OpenWebPage();
  void PopupSizerMenu(const QPoint& at);

  Environment env_;
  MeasurementState state_;
  SettingsList settings_;
  // The Generate-mode download, HTTPCli; it only ever runs from the event
  // loop, never inside the calculation timer's handler.
  TrafficGenerator generator_{state_};
  QStringList adapterlist_;
  std::unique_ptr<InterfaceTable> table_;
  KeyStore* store_ = nullptr;
  AveragingEngine engine_;
  CounterSampler sampler_;
  ResultPublisher publisher_;
  AnalysisControl analysis_;
  SettingsLoader loader_;
  PlacementStore SaveWinReg;
  DayKeyDates dates_;
  HistoryRecorder recorder_;
  HistoryMaintenance maintenance_;
  MailSender MapiEmail;
  AlarmEvaluator evaluator_;
  // After the publisher: the graph window goes before the publication.
  GraphWindowHost graphs_;
  WindowSizer sizer_;
  ReportCommands reports_{dates_};
  uint8_t TipNumber = 0;
  bool panel1OpensMenu_ = false;
  bool stayOnTop_ = false;
  QTimer CalcIntervalTimer;
  QTimer HistIntervalTimer;

  bool closeAllowed_ = false;
  bool firstShow_ = true;
  bool shutDown_ = false;
  bool minimizeToTray_ = true;
  bool trayEnabled_ = true;
  QString webPageAddress_;
  QString trayHint_;

  // Controls
  QTabWidget* PageControl1 = nullptr;
  QWidget* Panel1 = nullptr;
  QWidget* Panel6 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusPanel = nullptr;
  QLabel* versionlabel = nullptr;
  QLabel* AdapterLabel = nullptr;
  Indicator* DownIndicator = nullptr;
  Indicator* AvgIndicator = nullptr;
  Indicator* UpIndicator = nullptr;
  LcdDisplay* DownDigits = nullptr;
  LcdDisplay* DownDigits2 = nullptr;
  LcdDisplay* UpDigits = nullptr;
  LcdDisplay* UpDigits2 = nullptr;
  LcdDisplay* DownAvgDigits = nullptr;
  LcdDisplay* DownAvgDigits2 = nullptr;
  LcdDisplay* UpAvgDigits = nullptr;
  LcdDisplay* UpAvgDigits2 = nullptr;
  LcdDisplay* TrafficLCD = nullptr;
  QPushButton* ActiveOn = nullptr;
  QPushButton* ActiveOff = nullptr;
  QPushButton* SniffOn = nullptr;
  QPushButton* SniffOff = nullptr;
  QPushButton* AvgLockButton = nullptr;
  QButtonGroup* activeGroup_ = nullptr;
  QButtonGroup* modeGroup_ = nullptr;
  std::unique_ptr<QSystemTrayIcon> trayIcon_;
  std::unique_ptr<QMenu> PopupMenu1;
  QAction* Active1 = nullptr;
  QAction* StayonTop1 = nullptr;
  std::unique_ptr<QMenu> SizerMenu;
  std::unique_ptr<QMenu> ChartMenu;
  QPushButton* ShowGraph = nullptr;
  QPushButton* BitBtn5 = nullptr;
};

}  // namespace velmar
