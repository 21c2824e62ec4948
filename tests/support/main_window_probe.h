#pragma once

// What the tests see and work inside the main window beyond its own small
// face: the session behind it, the window as the session sees it (its
// adapters), its dialogs, graph host and tray, and the menu actions a test
// would otherwise have to click its way to.
#include "shell/widgets/main_window.h"

namespace velmar {

class MainWindowProbe {
 public:
  explicit MainWindowProbe(MainWindow& window) : w_(window) {}

  MeterSession& Session() const { return w_.session_; }
  const MeterView& View() const { return w_.session_.View(); }
  DialogCommands& Dialogs() const { return w_.dialogs_; }
  GraphWindowHost& Graphs() const { return w_.graphs_; }

  // The session's parts the tests read and drive most.
  MeasurementState& State() const { return w_.session_.State(); }
  SettingsList& Settings() const { return w_.session_.Settings(); }
  CounterSampler& Sampler() const { return w_.session_.Sampler(); }
  TrafficGenerator& Generator() const { return w_.session_.Generator(); }
  DayKeyDates& Dates() const { return w_.session_.Dates(); }
  AlarmEvaluator& Alarms() const { return w_.session_.Alarms(); }
  WindowSizer& Sizer() const { return w_.session_.Sizer(); }
  const QStringList& AdapterList() const { return w_.session_.AdapterList(); }
  void RecordTick() const { w_.session_.RecordTick(); }

  // What the window shows.
  int64_t Value(Display display) const { return View().displays.Value(display); }
  bool CloseAllowed() const { return w_.closeAllowed_; }
  QString StatusText() const { return w_.statusLabel_->text(); }
  QString TrayHint() const { return w_.tray_.Hint(); }
  QString TrayTip() const { return w_.tray_.Tip(); }
  QString WebPageAddress() const { return w_.webPageAddress_; }
  // Null until a tray has appeared.
  QSystemTrayIcon* TrayIcon() const { return w_.tray_.Icon(); }
  QMenu* TrayContextMenu() const { return w_.tray_.Menu(); }
  QMenu* GraphMenu() const { return w_.panel_->GraphMenu(); }
  bool GaugeOpensMenu() const { return w_.tabs_->GaugeOpensMenu(); }

  // The tray menu, the sizer menu and the graph menu.
  void ShowFromTray() const { w_.ShowFromTray(); }
  void HideToTray() const { w_.HideToTray(); }
  void ToggleStayOnTop() const { w_.ToggleStayOnTop(); }
  void ShowOnlyBottom() const { w_.ShowOnlyBottom(); }
  void ShowOnlyTop() const { w_.ShowOnlyTop(); }
  void HideFromSizer() const { w_.HideFromSizer(); }
  void RestoreLayout() const { w_.RestoreLayout(); }
  void ShowLiveGraph() const { w_.ShowLiveGraph(); }
  void CloseGraph() const { w_.CloseGraph(); }

 private:
  MainWindow& w_;
};

inline MainWindowProbe Probe(MainWindow& window) {
  return MainWindowProbe(window);
}

}  // namespace velmar
