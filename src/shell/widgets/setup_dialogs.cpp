#include "shell/widgets/setup_dialogs.h"

#include <QSignalBlocker>

#include "config/settings_list.h"
#include "config/settings_loader.h"
#include "shell/widgets/window_system.h"

namespace velmar {

SetupDialog::SetupDialog(SetupHost& host, QWidget* parent, const QString& name,
                         const QString& caption, QSize size)
    : QDialog(parent), host_(host) {
  setObjectName(name);
  setWindowTitle(caption);
  setFixedSize(size);
  setModal(true);
}

void SetupDialog::done(int result) {
  // The error report of a failed close is modal; a second close meanwhile
  // waits for the first.
  if (closing_) {
    return;
  }
  closing_ = true;
  const bool closes = ApplyBeforeClose();
  closing_ = false;
  if (closes) {
    QDialog::done(result);
  }
}

void SetupDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!loaded_) {
    loaded_ = true;
    LoadControls();
  }
}

void SetupDialog::ApplyWindowStyle(bool onTop) {
  if (OnWayland()) {
    return;  // no such style there; line 12 stays for the next X11 session
  }
  if (onTop) {
    host_.SetStayOnTop(true);
    host_.Settings().SetFlag(SettingsLine::kStayOnTop, true);
  } else {
    host_.Settings().SetFlag(SettingsLine::kStayOnTop, false);
    host_.SetStayOnTop(false);
  }
}

void SetupDialog::ApplyKilobitMode(uint8_t mode) {
  host_.Settings().SetLine(SettingsLine::kKilobitMode, QString::number(mode));
  host_.SetKilobitMode(mode);
  // The displays compute with the new kilobit at once, so their hints say
  // so at once too.
  host_.SetSpeedHintsFor(mode);
}

void SetupDialog::ApplyProxy() {
  host_.ApplyProxyFromSettings();
}

void SetupDialog::FillAdapterBox(QComboBox& box, int index) {
  const QSignalBlocker quiet(&box);
  box.clear();
  box.addItems(host_.AdapterNames());
  box.setCurrentIndex(index >= 0 && index < box.count() ? index : -1);
}

bool SetupDialog::StoreAdapterChoice(const QComboBox& box) {
  const int index = box.currentIndex();
  if (index < 0) {
    return false;
  }
  host_.SetAdapterIndex(static_cast<int16_t>(index));
  host_.Settings().SetLine(SettingsLine::kAdapterIndex, QString::number(index));
  return true;
}

std::optional<bool> SetupDialog::ShowProxyFields(QLineEdit& host, QLineEdit& port) {
  SettingsList& settings = host_.Settings();
  host.setText(settings.Line(SettingsLine::kProxyHost).trimmed());
  port.setText(settings.Line(SettingsLine::kProxyPort).trimmed());
  // An unchanged text raises no change, yet the trimmed texts belong in the
  // lines all the same.
  settings.SetLine(SettingsLine::kProxyHost, host.text());
  settings.SetLine(SettingsLine::kProxyPort, port.text());
  if (host.text().isEmpty() || settings.Line(SettingsLine::kUseProxy) == QLatin1String("0")) {
    return false;
  }
  if (settings.Flag(SettingsLine::kUseProxy)) {
    return true;
  }
  return std::nullopt;
}

bool SetupDialog::RevertAnswered() {
  UserInterface& ui = UserInterface::Get();
  ui.Beep();
  if (ui.Question(kRevertQuestion) != UserInterface::Answer::Yes) {
    return false;
  }
  try {
    host_.ReloadSettings();
  } catch (const std::exception& error) {
    host_.ReportError(error);
  }
  return true;
}

void SetupDialog::ApplyAutostart(bool enabled) {
  host_.WriteAutostart(enabled);
  host_.Settings().SetFlag(SettingsLine::kAutostart, enabled);
}

}  // namespace velmar
