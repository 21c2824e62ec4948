#pragma once

#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QString>
#include <QWidget>
#include <optional>

#include "platform/user_interface.h"
#include "shell/setup_host.h"

namespace velmar {

inline const QString kSetupRefusal =
    QStringLiteral("Velmar analysis is currently running, please stop first!");

// The question of "Restore" and "Revert settings".
inline const QString kRevertQuestion = QStringLiteral(
    "Are you sure you want to discard all Velmar settings made this run and revert to the last "
    "saved profile?");

// Puts a window in the middle of the screen its parent is on.
inline void CentreOnScreen(QWidget& window, QWidget* parent) {
  const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    window.move(screen->availableGeometry().center() -
                QPoint(window.width() / 2, window.height() / 2));
  }
}

// What the wizard and the detailed setup share: both hand the window style
// and the autostart value to the running meter as they close, and both stay
// open when that fails.
class SetupDialog : public QDialog {
 public:
  // Every way of closing ends here. False, with the error reported and the
  // steps before it kept, when the window must stay open.
  virtual bool ApplyBeforeClose() = 0;

 protected:
  // A modal window of fixed size.
  SetupDialog(SetupHost& host, QWidget* parent, const QString& name, const QString& caption,
              QSize size);

  // Closes only when ApplyBeforeClose lets it.
  void done(int result) override;
  // The controls are loaded at the first show only: a minimised window
  // that is restored gets a show event too, and must keep its edits.
  void showEvent(QShowEvent* event) override;
  // Shows the settings in the controls when the window opens.
  virtual void LoadControls() = 0;

  // Settings line 12 and the main window's stay-on-top style.
  void ApplyWindowStyle(bool onTop);
  // The autostart value, then settings line 10; raises when the value
  // cannot be written, and the line then keeps what it had.
  void ApplyAutostart(bool enabled);
  // Settings line 1 and the running meter's kilobit with its hints.
  void ApplyKilobitMode(uint8_t mode);
  // The proxy of lines 8, 9 and 14 to the HTTP client: the one they name
  // when it is in use and has a host, else none.
  void ApplyProxy();

  // Fills an interface box from the adapter list with `index` selected; an
  // index the list does not have shows nothing rather than "All". Filling
  // is not a choice, so the box stays quiet.
  void FillAdapterBox(QComboBox& box, int index);
  // The adapter chosen in an interface box: the meter measures it and line
  // 13 keeps it. False when nothing is chosen.
  bool StoreAdapterChoice(const QComboBox& box);
  // Shows lines 8 and 9 trimmed in the proxy fields and keeps the trimmed
  // texts in the lines. Then: false when the proxy is off (no host, or line
  // 14 says so), true when line 14 says it is on, nothing when line 14
  // says neither.
  std::optional<bool> ShowProxyFields(QLineEdit& host, QLineEdit& port);
  // "Revert settings" / "&Restore": beeps and asks; on "Yes" reloads the
  // saved profile (a failure reported) and says true.
  bool RevertAnswered();

  SetupHost& host_;

 private:
  bool closing_ = false;
  bool loaded_ = false;
};

// A setup dialog of which the process keeps one reference: the first
// window made, cleared when that window goes.
template <typename Dialog>
class SingleSetupDialog : public SetupDialog {
 public:
  static Dialog* Instance() { return static_cast<Dialog*>(instance_); }

  // Opens the dialog the way both of them open: refused while analysis
  // runs, at most one at a time (a second request brings it forward), a
  // fresh window every time, modal, freed afterwards. Guarded: a parent
  // that goes away during the modal loop takes the dialog with it.
  static void Open(SetupHost& host, QWidget* parent) {
    if (host.AnalysisRunning()) {
      UserInterface::Get().Message(kSetupRefusal);
      return;
    }
    if (Dialog* open = Instance()) {
      open->raise();
      open->activateWindow();
      return;
    }
    QPointer<Dialog> dialog = new Dialog(host, parent);
    dialog->exec();
    delete dialog.data();
  }

 protected:
  SingleSetupDialog(SetupHost& host, QWidget* parent, const QString& name, const QString& caption,
                    QSize size)
      : SetupDialog(host, parent, name, caption, size) {
    if (instance_ == nullptr) {
      instance_ = this;
    }
  }
  ~SingleSetupDialog() override {
    if (instance_ == this) {
      instance_ = nullptr;
    }
  }

 private:
  // Held as the base: the dialog is not yet whole while this constructor runs.
  static inline SingleSetupDialog* instance_ = nullptr;
};

}  // namespace velmar
