#include "shell/widgets/dialog_commands.h"

#include "config/program_section.h"

#include <QPointer>

#include "alarms/widgets/alarm_window.h"
#include "config/settings_loader.h"
#include "netstat/widgets/net_stat_window.h"
#include "platform/key_store.h"
#include "shell/widgets/detailed_setup.h"
#include "shell/widgets/setup_wizard.h"

namespace velmar {

void DialogCommands::OpenSetupWizard() {
  session_.SetSection(section::kSetupWizard);
  SetupWizard::OpenWizard(*this, parent_);
}

void DialogCommands::OpenDetailedSetup() {
  session_.SetSection(section::kDetailedSetup);
  DetailedSetup::OpenSetup(*this, parent_);
}

void DialogCommands::OpenAlarms() {
  session_.SetSection(section::kAlarms);
  AlarmWindow window(session_.Settings(), parent_);
  window.exec();
}

void DialogCommands::OpenNetStat() {
  session_.SetSection(section::kNetStat);
  if (NetStatWindow::Instance() != nullptr) {
    return;  // one is open already (it is modal)
  }
  // The window shares the table component with the measurement tick; the
  // QPointer guards against the window going away during its modal loop.
  QPointer<NetStatWindow> window = new NetStatWindow(
      session_.Table(), [this](const std::exception& e) { ReportError(e); }, parent_);
  // Which program holds a connection is this computer's to tell.
  if (!session_.MeasuresDevice()) {
    window->ShowPrograms(session_.State());
  }
  window->exec();
  delete window;
}

void DialogCommands::OpenReportWizard() {
  session_.SetSection(section::kReportWizard);
  reports_.EditProfile(parent_);
}

void DialogCommands::GenerateReport() {
  session_.SetSection(section::kGenerateReport);
  reports_.GenerateReport(session_.StoreOpen() ? &KeyStore::Default() : nullptr,
                          session_.State().KilobitMode);
}

void DialogCommands::PurgeHistory() {
  session_.SetSection(section::kPurgeHistory);
  session_.History().PurgeWithBackup();
}

void DialogCommands::RestoreHistory() {
  session_.History().RestoreBackup();
}

void DialogCommands::DeleteProfiles() {
  session_.SetSection(section::kDeleteProfiles);
  session_.History().DeleteProfile();
}

void DialogCommands::SetSpeedHintsFor(uint8_t kilobitMode) {
  SettingsLoader::ShowSpeedHints(view_.settings, kilobitMode);
}

}  // namespace velmar
