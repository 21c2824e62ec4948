// The usage report of the command line:
//   velmar --report PROFILE     a usage report of a report profile
//   velmar --report --from DATE --to DATE --group day --format csv [--output FILE]
#include "app/report_main.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTextStream>

#include "config/product.h"
#include "config/settings_list.h"
#include "platform/atomic_file.h"
#include "platform/key_store.h"
#include "report/report_command_line.h"
#include "report/report_generator.h"

namespace velmar {

namespace {

QString OneLine(QString text) {
  return text.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), ' ');
}

}  // namespace

// `velmar --report ...`, run by velmar-headless: Qt Core only.
int RunReport() {
  QTextStream err(stderr);

  try {
    ReportCommandLine commandLine;
    const ReportRequest request =
        commandLine.Parse(QCoreApplication::arguments(), ProfileStore(ProfileStore::DefaultRoot()));
    if (request.help) {
      QTextStream(stdout) << commandLine.HelpText();
      return 0;
    }
    const QString& name = request.name;
    const ReportProfile& profile = request.profile;

    SettingsList settings;
    if (!settings.LoadComplete(SettingsList::FilePath())) {
      settings.SetLines(SettingsList::DefaultLines());
    }
    ReportSources sources;
    sources.storePath = KeyStore::DefaultPath();
    sources.dateFormat = QLocale::system().dateFormat(QLocale::ShortFormat);
    sources.now = QDateTime::currentDateTime();
    sources.kilobitMode = settings.KilobitMode();
    const Report report = ReportGenerator::Make(name, profile, sources);
    // The first format of those chosen, in the order html, csv, json.
    ReportFormat format = kCsvFormat;
    for (const ReportFormat f : {kHtmlFormat, kCsvFormat, kJsonFormat}) {
      if (profile.formats & f) {
        format = f;
        break;
      }
    }
    const QByteArray bytes = ReportGenerator::Render(report, format);
    if (request.output) {
      WriteFileAtomically(*request.output, bytes);
    } else {
      QFile out;
      if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() ||
          !out.flush()) {
        throw Exception(QStringLiteral("cannot write to standard output"));
      }
    }
  } catch (const ReportUsageError& e) {
    err << "velmar: " << OneLine(e.Message()) << Qt::endl;
    return 2;
  } catch (const std::exception& e) {
    err << "velmar: " << OneLine(QString::fromUtf8(e.what())) << Qt::endl;
    return 1;
  }
  return 0;
}

}  // namespace velmar
