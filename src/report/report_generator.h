#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "report/profile_store.h"
#include "report/report_model.h"

namespace velmar {

class KeyStore;

// Everything a report needs besides its profile, taken on the GUI thread
// so that the making can run on any other.
struct ReportSources {
  // The key store with the history: an open one (it serialises the calls
  // of several threads), else the file to open read only.
  KeyStore* store = nullptr;
  QString storePath;
  QString dateFormat;  // the short date format the day keys are named in
  QDateTime now;
  int kilobitMode = 0;
};

// Makes reports: reads the history, builds the figures, writes the files.
// The history is never changed.
class ReportGenerator {
 public:
  // The file a format goes to in a profile's folder: report.html, ...
  static QString FileName(ReportFormat format);

  // The report for `profile`. Raises HistoryDamagedError for a damaged
  // record of the span, KeyStoreError when the store cannot be read. A
  // store that does not exist yet is an empty history.
  static Report Make(const QString& title, const ReportProfile& profile,
                     const ReportSources& sources);

  static QByteArray Render(const Report& report, ReportFormat format);

  // The report of profile `name` in each of its formats, into the
  // profile's folder: every file is replaced, or (on any failure) none.
  // Returns the paths written, the HTML page first when there is one.
  static QStringList GenerateIntoProfile(const ProfileStore& profiles, const QString& name,
                                         const ReportSources& sources);
};

}  // namespace velmar
