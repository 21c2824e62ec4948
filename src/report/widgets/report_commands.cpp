#include "report/widgets/report_commands.h"

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/key_store.h"
#include "platform/user_interface.h"
#include "report/widgets/report_profile_wizard.h"

namespace velmar {

ReportCommands::ReportCommands(const DayKeyDates& dates, QString profilesRoot)
    : dates_(dates), profiles_(std::move(profilesRoot)) {
  connect(&watcher_, &QFutureWatcher<Outcome>::finished, this, [this] { Finished(); });
}

ReportCommands::~ReportCommands() {
  // The worker holds nothing of this object, yet it must not outlive the
  // program's end half-way through a write.
  watcher_.waitForFinished();
}

void ReportCommands::EditProfile(QWidget* parent) {
  const QString saved = ReportProfileWizard::Run(profiles_, parent);
  if (!saved.isEmpty()) {
    lastProfile_ = saved;
    Q_EMIT StatusChanged(QStringLiteral("Report profile \"%1\" saved").arg(saved));
  }
}

void ReportCommands::GenerateReport(KeyStore* store, int kilobitMode) {
  UserInterface& ui = UserInterface::Get();
  if (Busy()) {
    ui.Message(QStringLiteral("A report is being made; please wait until it is written."));
    return;
  }
  const QStringList names = profiles_.Names();
  if (names.isEmpty()) {
    ui.Message(
        QStringLiteral("There is no report profile yet: make one with the \"Report "
                       "Profile Setup Wizard\" first."));
    return;
  }
  const std::optional<QString> name =
      ui.ChooseItem(QStringLiteral("Make the report of which profile?"), names,
                    names.contains(lastProfile_) ? lastProfile_ : names.first());
  if (!name || !names.contains(*name)) {
    return;
  }
  if (store == nullptr) {
    ui.Message(QStringLiteral("The history cannot be read: the key store is not open."));
    return;
  }
  lastProfile_ = *name;
  // What the worker needs, taken here: it touches nothing of the window.
  ReportSources sources;
  // The window's own store: it serialises the worker's reads with the
  // recorder's writes, and it is open already.
  sources.store = store;
  sources.dateFormat = dates_.Format();
  sources.now = dates_.Now();
  sources.kilobitMode = kilobitMode;
  const ProfileStore profiles = profiles_;
  const QString profile = *name;
  Q_EMIT StatusChanged(QStringLiteral("Making the report of \"%1\"...").arg(profile));
  watcher_.setFuture(QtConcurrent::run([profiles, profile, sources] {
    Outcome outcome;
    outcome.profile = profile;
    try {
      outcome.paths = ReportGenerator::GenerateIntoProfile(profiles, profile, sources);
    } catch (const std::exception& e) {
      outcome.error = QString::fromUtf8(e.what());
    }
    return outcome;
  }));
}

void ReportCommands::WaitForReport() {
  if (watcher_.isRunning() || watcher_.isStarted()) {
    watcher_.waitForFinished();
    QCoreApplication::sendPostedEvents(&watcher_);
  }
}

void ReportCommands::Finished() {
  if (watcher_.future().resultCount() == 0) {
    return;
  }
  const Outcome outcome = watcher_.result();
  if (!outcome.error.isEmpty()) {
    Q_EMIT StatusChanged(QStringLiteral("No report was written"));
    UserInterface::Get().Message(QStringLiteral("The report of \"%1\" was not written: %2")
                                     .arg(outcome.profile, outcome.error));
    return;
  }
  Q_EMIT StatusChanged(QStringLiteral("Report of \"%1\" written to %2")
                           .arg(outcome.profile, profiles_.FolderOf(outcome.profile)));
  if (!outcome.paths.isEmpty()) {
    Q_EMIT ReportWritten(outcome.paths.first());
  }
}

}  // namespace velmar
