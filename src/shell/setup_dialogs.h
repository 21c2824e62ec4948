#pragma once

#include <QDialog>
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

// What the wizard and the detailed setup share: both hand the window style
// and the autostart value to the running meter as they close, and both stay
// open when that fails.
class SetupDialog : public QDialog {
 public:
  // Every way of closing ends here. False, with the error reported and the
  // steps before it kept, when the window must stay open.
  virtual bool FormClose() = 0;

 protected:
  // A modal window of fixed size.
  SetupDialog(SetupHost& host, QWidget* parent, const QString& name, const QString& caption,
              QSize size);

  // Closes only when FormClose lets it.
  void done(int result) override;

  // Settings line 12 and the main window's stay-on-top style.
  void ApplyWindowStyle(bool onTop);
  // The autostart value, then settings line 10; raises when the value
  // cannot be written, and the line then keeps what it had.
  void ApplyAutostart(bool enabled);

  SetupHost& host_;

 private:
  bool closing_ = false;
};

// A setup dialog of which the process keeps one reference: the first
// window made, cleared when that window goes (FormDestroy).
template <typename Form>
class SingleSetupDialog : public SetupDialog {
 public:
  static Form* Instance() { return static_cast<Form*>(instance_); }

  // Opens the dialog the way both of them open: refused while analysis
  // runs, at most one at a time (a second request brings it forward), a
  // fresh window every time, modal, freed afterwards. Guarded: a parent
  // that goes away during the modal loop takes the dialog with it.
  static void Open(SetupHost& host, QWidget* parent) {
    if (host.AnalysisRunning()) {
      UserInterface::Get().Message(kSetupRefusal);
      return;
    }
    if (Form* open = Instance()) {
      open->raise();
      open->activateWindow();
      return;
    }
    QPointer<Form> dialog = new Form(host, parent);
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
  // Held as the base: the form is not yet whole while this constructor runs.
  static inline SingleSetupDialog* instance_ = nullptr;
};

}  // namespace velmar
