#pragma once

// What the tests see inside the main window beyond its own small face: the
// session behind it (its public commands and the core's signals), its
// dialogs, graph host, tray and sizer. The tray's and the panel's signals
// are the menu items a test would otherwise click its way to.
#include "shell/widgets/main_window.h"

namespace velmar {

class MainWindowProbe {
 public:
  explicit MainWindowProbe(MainWindow& window) : w_(window) {}

  MeterSession& Session() const { return w_.session_; }
  // The session's parts the tests read most.
  const MeasurementState& State() const { return w_.session_.State(); }
  SettingsList& Settings() const { return w_.session_.Settings(); }
  // The window as the session sees it (its adapters).
  const MeterView& View() const { return w_.session_.View(); }
  DialogCommands& Dialogs() const { return w_.dialogs_; }
  GraphWindowHost& Graphs() const { return w_.graphs_; }
  // The tray's tip and hint, its icon (null until a tray has appeared),
  // its menu and the signals of the menu's items.
  TrayMenu& Tray() const { return w_.tray_; }
  const WindowSizer& Sizer() const { return w_.sizer_; }

  // What the window shows.
  bool CloseAllowed() const { return w_.closeAllowed_; }
  QString StatusText() const { return w_.statusLabel_->text(); }
  QString WebPageAddress() const { return w_.webPageAddress_; }
  bool GaugeOpensMenu() const { return w_.tabs_->GaugeOpensMenu(); }

 private:
  MainWindow& w_;
};

inline MainWindowProbe Probe(MainWindow& window) {
  return MainWindowProbe(window);
}

}  // namespace velmar
