#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QStringList>

#include "history/day_key_dates.h"
#include "report/profile_store.h"
#include "report/report_generator.h"

namespace velmar {

class KeyStore;

// The Reporting tab's report buttons as a person meets them.
class ReportCommands : public QObject {
  Q_OBJECT

 public:
  explicit ReportCommands(const DayKeyDates& dates,
                          QString profilesRoot = ProfileStore::DefaultRoot());
  ~ReportCommands() override;

  // "Report Profile Setup Wizard": the wizard, modal.
  void EditProfile(QWidget* parent);

  // "Generate Report": asks for a profile, then makes its report on a
  // worker thread and returns at once, so the window stays responsive. When
  // the report is written into the profile's folder, its page (or its first
  // file) is opened; a failure is shown and writes nothing. A second
  // request while one runs is refused with a message.
  void GenerateReport(KeyStore* store, int kilobitMode);

  bool Busy() const { return watcher_.isRunning(); }
  // Waits for the report being made and hands over its outcome (tests).
  void WaitForReport();

  const ProfileStore& Profiles() const { return profiles_; }

 Q_SIGNALS:
  // For the status line: what is being made, and what was written.
  void StatusChanged(const QString& text);
  // A report was written: its page, or its first file, for the desktop to
  // open.
  void ReportWritten(const QString& path);

 private:
  struct Outcome {
    QString profile;
    QStringList paths;
    QString error;
  };
  void Finished();

  const DayKeyDates& dates_;
  ProfileStore profiles_;
  QString lastProfile_;
  QFutureWatcher<Outcome> watcher_;
};

}  // namespace velmar
