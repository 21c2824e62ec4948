#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/exception.h"
#include "report/profile_store.h"
#include "report/report_profile.h"

namespace velmar {

// Bad usage of --report: the reason on one line, exit status 2.
class ReportUsageError : public Exception {
 public:
  using Exception::Exception;
};

// What `velmar --report ...` asks for.
struct ReportRequest {
  bool help = false;
  QString name;  // the profile, or "" for a report made from the options alone
  ReportProfile profile;
  std::optional<QString> output;  // none: standard output
};

// The report's command line:
//   velmar --report PROFILE     a usage report of a report profile
//   velmar --report --from DATE --to DATE --group day --format csv [--output FILE]
// A saved profile is changed by the options given with it.
class ReportCommandLine {
 public:
  ReportCommandLine();

  // Raises ReportUsageError for bad usage and ProfileError for a saved
  // profile whose file cannot be used (that is no usage error).
  ReportRequest Parse(const QStringList& arguments, const ProfileStore& profiles);
  QString HelpText() const { return parser_.helpText(); }

 private:
  QDate DateOption(const QString& name) const;
  ReportProfile Options(const QString& name, const ProfileStore& profiles) const;
  ReportProfile SavedProfile(const QString& name, const ProfileStore& profiles) const;
  void ApplyPeriod(ReportProfile& profile, bool named) const;
  void ApplyContents(ReportProfile& profile) const;

  QCommandLineParser parser_;
};

}  // namespace velmar
