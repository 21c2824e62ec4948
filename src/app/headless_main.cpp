// velmar-headless: the meter without a window, on Qt Core (and Qt Network
// for the metrics endpoint) alone. `velmar --headless ...` runs this.
//   velmar --headless [--adapter K] [--format text|json] [--metrics [ADDR:]PORT]
//                     [--metrics-include REGEX] [--metrics-exclude REGEX] [--devices FILE]
//                     [--web-config FILE] [--programs] [--programs-top N]
//                     [--snmp HOST[:PORT] [--snmp-version 2c|3] ...]
//   velmar --list-adapters      print the adapter list
//   velmar --history            print the recorded history
// The run itself is in headless_run.cpp, its options in headless_options.cpp.
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <cerrno>
#include <cstring>
#include <memory>

#include <unistd.h>

#include "app/command_line.h"
#include "app/headless_options.h"
#include "app/headless_run.h"
#include "app/report_main.h"
#include "app/usage_main.h"
#include "config/product.h"
#include "config/settings_list.h"
#include "history/history_report.h"
#include "platform/key_store.h"

using namespace velmar;

namespace {

int PrintHistory(const SettingsList& settings, QTextStream& out, QTextStream& err) {
  try {
    for (const QString& line : HistoryReport(KeyStore::Default(), settings.KilobitMode())) {
      out << line << Qt::endl;
    }
  } catch (const std::exception& e) {
    err << "Error: " << e.what() << Qt::endl;
    return 1;
  }
  return 0;
}

#ifndef VELMAR_DEVICE_METRICS
// Devices' metrics poll with net-snmp, which a meter of this computer
// alone has no need to map (2 MB of it and its crypto library): the
// sibling built with them serves those, with the same arguments. The
// sibling also serves a web configuration (TLS, YAML, bcrypt).
int RunDeviceMeter(char* argv[], QTextStream& err) {
  const QByteArray sibling =
      QFile::encodeName(QCoreApplication::applicationDirPath() + "/velmar-devices");
  execv(sibling.constData(), argv);
  err << "velmar: cannot run " << QFile::decodeName(sibling) << ": " << std::strerror(errno)
      << Qt::endl;
  return 1;
}
#endif

}  // namespace

int main(int argc, char* argv[]) {
  // Qt's own event dispatcher instead of GLib's: the meter needs nothing
  // of GLib's loop, which costs a quarter of a megabyte resident here.
  if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
    qputenv("QT_NO_GLIB", "1");
  }
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(kApplicationTitle);
  QTextStream out(stdout);
  QTextStream err(stderr);

  // The report has options of its own.
  if (QCoreApplication::arguments().contains(QStringLiteral("--report"))) {
    return RunReport();
  }
  if (QCoreApplication::arguments().contains(QStringLiteral("--usage"))) {
    return RunUsage();
  }
  CommandLine options;
  if (!options.Parse(QCoreApplication::arguments(), err)) {
    return CommandLine::kUsageStatus;
  }
  if (options.IsSet("help")) {
    out << options.Parser().helpText();
    return 0;
  }
  if (options.IsSet("version")) {
    out << "velmar " << kVersionText << Qt::endl;
    return 0;
  }

  SettingsList settings;
  if (!settings.LoadComplete(SettingsList::FilePath())) {
    settings.SetLines(SettingsList::DefaultLines());
  }
  if (options.IsSet("history")) {
    return PrintHistory(settings, out, err);
  }

  HeadlessOptions chosen;
  if (const Status status = ReadOptions(options, settings, chosen, err)) {
    return *status;
  }
#ifndef VELMAR_DEVICE_METRICS
  if (chosen.serveMetrics && (chosen.device || chosen.devicesGiven || chosen.webConfigGiven)) {
    return RunDeviceMeter(argv, err);
  }
#endif
  std::unique_ptr<InterfaceTable> table;
  if (const Status status = OpenInterfaceTable(chosen, table, err)) {
    return *status;
  }
  HeadlessRun run(chosen, settings, std::move(table), out, err);
  return run.Run();
}
