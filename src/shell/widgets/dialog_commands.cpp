#include "shell/widgets/dialog_commands.h"

#include "config/program_section.h"

#include <QPointer>

#include "alarms/widgets/alarm_window.h"
#include "config/settings_loader.h"
#include "history/history_commands.h"
#include "netstat/widgets/net_stat_window.h"
#include "platform/data_locations.h"
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
      session_.Table(), [this](const std::exception& e) { session_.HandleException(e); }, parent_);
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
  reports_.GenerateReport(session_.Store(), session_.State().KilobitMode);
}

void DialogCommands::PurgeHistory() {
  session_.SetSection(section::kPurgeHistory);
  HistoryCommands(session_.Maintenance(), session_.Dates(), DataLocations::Current())
      .PurgeWithBackup();
}

void DialogCommands::RestoreHistory() {
  HistoryCommands(session_.Maintenance(), session_.Dates(), DataLocations::Current())
      .RestoreBackup();
}

void DialogCommands::DeleteProfiles() {
  session_.SetSection(section::kDeleteProfiles);
  HistoryCommands(session_.Maintenance(), session_.Dates(), DataLocations::Current())
      .DeleteProfile();
}

void DialogCommands::SetSpeedHintsFor(uint8_t kilobitMode) {
  SettingsLoader::ShowSpeedHints(view_.settings, kilobitMode);
}

void DialogCommands::ChangeSource() {
  // Another source has other interfaces: the choice goes back to "All".
  session_.Core().SelectAdapter(0, QString());
  session_.Settings().SetLine(SettingsLine::kAdapterIndex, QStringLiteral("0"));
  session_.Settings().SetLineExtending(SettingsLine::kAdapterName, QString());
  view_.settings.SetAdapterLabel(SettingsLoader::AdapterCaption(QStringLiteral("All")));
  session_.Guarded([this] { session_.UseSource(session_.Settings()); });
  session_.Guarded([this] { session_.SetAdapterList(session_.Sampler().BuildAdapterList()); });
}

}  // namespace velmar
