#pragma once

#include <QWidget>

#include "platform/launcher.h"
#include "report/widgets/report_commands.h"
#include "shell/meter_session.h"
#include "shell/setup_host.h"

namespace velmar {

// Opens the main window's dialogs and hosts the two setup dialogs: the
// wizard and the detailed setup change the running meter through the
// SetupHost this class implements over the session and the window.
class DialogCommands : public SetupHost {
 public:
  DialogCommands(MeterSession& session, QWidget* parent)
      : session_(session), view_(session.View()), parent_(parent), reports_(session.Dates()) {
    // The desktop opens each finished report.
    QObject::connect(&reports_, &ReportCommands::ReportWritten,
                     [](const QString& path) { Launcher::Open(path); });
  }

  void OpenSetupWizard();
  void OpenDetailedSetup();
  void OpenAlarms();
  // NetStat is modal; a second request while it is open does nothing.
  void OpenNetStat();
  // "Report Profile Setup Wizard" and "Generate Report".
  void OpenReportWizard();
  void GenerateReport();
  ReportCommands& Reports() { return reports_; }
  void PurgeHistory();
  void RestoreHistory();
  void DeleteProfiles();

  // SetupHost
  SettingsList& Settings() override { return session_.Settings(); }
  const QStringList& AdapterNames() const override { return session_.AdapterList(); }
  bool AnalysisRunning() const override { return session_.State().AnalysisActive; }
  uint8_t KilobitMode() const override { return session_.State().KilobitMode; }
  void SetKilobitMode(uint8_t mode) override { session_.Core().SetKilobitMode(mode); }
  void SetSpeedHintsFor(uint8_t kilobitMode) override;
  void SetAveragingMode(uint8_t mode) override { session_.Core().SetAveragingMode(mode); }
  int16_t AdapterIndex() const override { return session_.State().AdapterIndex; }
  void SetAdapterIndex(int16_t index) override { session_.Core().SetAdapterIndex(index); }
  void SetAdapterLabel(const QString& caption) override { view_.settings.SetAdapterLabel(caption); }
  void ShowTip(Tip tip) override { view_.analysis.ShowTip(tip); }
  void SetStayOnTop(bool onTop) override { view_.settings.SetStayOnTop(onTop); }
  void ApplyProxyFromSettings() override { session_.ApplyProxyFromSettings(); }
  void SetUrl(const QString& url) override { session_.SetUrl(url); }
  void ReloadSettings() override { session_.ReloadSettings(); }
  void ChangeSource() override { session_.ChangeSource(); }
  void RecordPrograms() override { session_.RecordPrograms(); }
  void WriteAutostart(bool enabled) override { session_.WriteAutostart(enabled); }
  void ReportError(const std::exception& error) override { view_.window.ReportError(error); }

 private:
  MeterSession& session_;
  const MeterView& view_;
  QWidget* parent_;
  ReportCommands reports_;
};

}  // namespace velmar
