#pragma once

#include <QLabel>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
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
#include "shell/window_sizer.h"

namespace velmar {

// The main window: the tabs above, the meter panel below, the status bar
// and the tray icon. It runs the meter's session and shows what the
// session publishes. With a tray, closing or minimising it hides it there
// until one of the ways of ending the program is taken; without one it
// stays in the task bar, and closing it ends the program as "&End" does.
// The window is never left where nothing can bring it back.
//
// The session reaches the window through small private adapters, one for
// each interface of MeterView; tests look inside through MainWindowProbe
// (tests/support/main_window_probe.h).
class MainWindow : public QWidget {
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

  // A later start asks this one to come forward, with the xdg-activation
  // token of whoever asked where there is one: the answer it is given.
  QString ComeForward(const QString& activationToken);
  // Whether the meter's icon is in a tray now, so that a hidden window can
  // come back through it.
  bool TrayShown() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class MainWindowProbe;
  // The adapters (main_window_views.h).
  struct Views;
  class SettingsPart;
  class AnalysisPart;
  class DisplaysPart;
  class PlacementPart;
  class SizerPart;
  class LifecyclePart;

  // The tabs' buttons to the window's commands.
  void ConnectTabs();
  // The panel's buttons to the window's commands.
  void ConnectPanel();
  // The tray menu's items to the window's commands.
  void ConnectTray();
  void BuildStatusBar();
  void ShowSplash();
  void Shutdown();
  void ResetToDefaults();
  // Asks before the program ends, and saves first when the user says so.
  // True: end now.
  bool ConfirmEnd();
  // Writes the settings; a failure is told, not raised.
  void SaveSettingsTellingFailure();

  // The tray menu's "&Show", "&Hide" and "Stay on &Top".
  void ShowFromTray();
  void HideToTray();
  void ToggleStayOnTop();
  void SetStayOnTop(bool onTop);
  // Brings the window back and to the front, with the xdg-activation token
  // of whoever asked where there is one.
  void ShowMainWindow(const QString& activationToken = QString());
  void HideMainWindow();
  // Makes the tray icon once a tray is there to show it.
  void InstallTrayIcon();
  void WatchWindowState();
  void Minimised();

  // The sizer menu, and the meter picture's click while only the top shows.
  void ShowOnlyBottom();
  void ShowOnlyTop();
  void HideFromSizer();
  void RestoreLayout();
  void OpenSizerMenuFromGauge();
  void PopupSizerMenu(const QPoint& at);
  QSize FitToLayout(QSize requested) const;

  void OpenHelp();
  void OpenWebSite();
  void ShowTip(Tip tip);

  // "3D Graphs" opens the graph menu: live data, averages history, close.
  void OpenGraphMenu();
  void ShowLiveGraph();
  void ShowHistoryGraph();
  void CloseGraph();

  // Before the session, which keeps references to them.
  std::unique_ptr<Views> views_;
  MeterSession session_;
  // The three layouts of the sizer menu.
  WindowSizer sizer_;
  // After the session: the graph window goes before the publication.
  GraphWindowHost graphs_;
  DialogCommands dialogs_;
  MainTabs* tabs_ = nullptr;
  MeterPanel* panel_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  // The data plan's share used and days left; hidden without a plan.
  QLabel* planLabel_ = nullptr;
  // The full layout's size at the window's font.
  QSize fullSize_;
  TrayMenu tray_;
  enum class TrayKind { kNone, kStatusNotifier, kXEmbed };
  TrayKind trayKind_ = TrayKind::kNone;
  StatusNotifierWatch trayWatch_;
  // On X11 with no tray of either kind: looks for an XEmbed tray until one
  // appears (a D-Bus tray says so itself).
  QTimer xembedLook_;
  QPointer<QWindow> watchedWindow_;
  const bool onWayland_;

  bool stayOnTop_ = false;
  bool closeAllowed_ = false;
  bool firstShow_ = true;
  bool shutDown_ = false;
  // An error report's dialog is open; the latest error while it is.
  bool reportShown_ = false;
  QString latestError_;
  bool minimizeToTray_ = true;
  bool trayEnabled_ = true;
  QString webPageAddress_;
};

}  // namespace velmar
