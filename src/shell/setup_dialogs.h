#pragma once

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QString>
#include <QWidget>

#include "setup_host.h"
#include "user_interface.h"

namespace velmar {

inline const QString kSetupRefusal =
    QStringLiteral("Velmar analysis is currently running, please stop first!");

// Puts a window in the middle of the screen its parent is on.
inline void CentreOnScreen(QWidget& window, QWidget* parent) {
  const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    window.move(screen->availableGeometry().center() -
                QPoint(window.width() / 2, window.height() / 2));
  }
}

// Opens a setup dialog the way both of them open: refused while analysis
// runs, at most one at a time (a second request brings it forward), a fresh
// window every time, modal, freed afterwards. Guarded: a parent that goes
// away during the modal loop takes the dialog with it.
template <typename Dialog>
void OpenSetupDialog(SetupHost& host, QWidget* parent) {
  if (host.AnalysisRunning()) {
    UserInterface::Get().Message(kSetupRefusal);
    return;
  }
  if (Dialog* open = Dialog::Instance()) {
    open->raise();
    open->activateWindow();
    return;
  }
  QPointer<Dialog> dialog = new Dialog(host, parent);
  dialog->exec();
  delete dialog.data();
}

}  // namespace velmar
