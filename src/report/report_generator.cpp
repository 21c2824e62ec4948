#include "report/report_generator.h"

#include <QFileInfo>

#include "history/history_reader.h"
#include "platform/atomic_file.h"
#include "platform/key_store.h"
#include "report/report_writers.h"

namespace velmar {

QString ReportGenerator::FileName(ReportFormat format) {
  switch (format) {
    case kCsvFormat:
      return QStringLiteral("report.csv");
    case kJsonFormat:
      return QStringLiteral("report.json");
    default:
      break;
  }
  return QStringLiteral("report.html");
}

Report ReportGenerator::Make(const QString& title, const ReportProfile& profile,
                             const ReportSources& sources) {
  profile.Validate();
  DayKeyDates dates;
  const QString format = sources.dateFormat;
  const QDateTime now = sources.now;
  dates.Format = [format] { return format; };
  dates.Now = [now] { return now; };

  HistoryExtract history;
  const auto [from, to] = ReadSpan(profile, now);
  const bool alarms = (profile.values & kAlarmEvents) != 0;
  const bool programs = profile.grouping == Grouping::kProgram;
  if (sources.store != nullptr) {
    history = HistoryReader(*sources.store, dates).Read(from, to, alarms, programs);
  } else if (QFileInfo::exists(sources.storePath)) {
    KeyStore store(sources.storePath, KeyStore::Access::ReadOnly);
    history = HistoryReader(store, dates).Read(from, to, alarms, programs);
  }
  return BuildReport(title, profile, history, now, sources.kilobitMode);
}

QByteArray ReportGenerator::Render(const Report& report, ReportFormat format) {
  switch (format) {
    case kCsvFormat:
      return WriteCsv(report);
    case kJsonFormat:
      return WriteJson(report);
    default:
      break;
  }
  return WriteHtml(report);
}

QStringList ReportGenerator::GenerateIntoProfile(const ProfileStore& profiles, const QString& name,
                                                 const ReportSources& sources) {
  const ReportProfile profile = profiles.Load(name);
  const Report report = Make(name, profile, sources);
  std::vector<FileContent> files;
  QStringList paths;
  for (const ReportFormat format : {kHtmlFormat, kCsvFormat, kJsonFormat}) {
    if (profile.formats & format) {
      const QString path = profiles.FolderOf(name) + QLatin1Char('/') + FileName(format);
      files.push_back(FileContent{path, Render(report, format)});
      paths << path;
    }
  }
  WriteFilesAtomically(files);
  return paths;
}

}  // namespace velmar
