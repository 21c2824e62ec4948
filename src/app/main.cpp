// velmar: the bandwidth meter.
//   velmar [--headless] [--adapter K] [--list-adapters]
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <memory>

#include "headless_meter.h"
#include "settings_list.h"
#include "tol_interface_table_object.h"
#include "unix_signal_watcher.h"

using namespace velmar;

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Velmar 2000"));
  QTextStream out(stdout);
  QTextStream err(stderr);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Velmar 2000 bandwidth meter"));
  parser.addHelpOption();
  parser.addOption({QStringLiteral("headless"),
                    QStringLiteral("Measure without a window; print one line per tick.")});
  parser.addOption({QStringLiteral("adapter"),
                    QStringLiteral("Monitor adapter K of the list (0 = All)."),
                    QStringLiteral("K")});
  parser.addOption({QStringLiteral("list-adapters"), QStringLiteral("Print the adapter list.")});
  parser.process(app);

  Settingslist settings;
  if (!settings.LoadFromFile(Settingslist::FilePath()) ||
      settings.Count() < Settingslist::kLineCount) {
    settings.SetLines(Settingslist::DefaultLines());
  }

  MeasurementState state;
  state.AdapterIndex = static_cast<int16_t>(settings.LineNumber(13, 0));
  state.AveragingMode = static_cast<uint8_t>(settings.LineNumber(2, 1));
  if (state.AveragingMode == 0) {
    state.AveragingMode = 1;
  }
  if (parser.isSet(QStringLiteral("adapter"))) {
    bool ok = false;
    const int k = parser.value(QStringLiteral("adapter")).toInt(&ok);
    if (!ok || k < 0 || k > 32767) {
      err << "velmar: --adapter needs a number from 0 up" << Qt::endl;
      return 2;
    }
    state.AdapterIndex = static_cast<int16_t>(k);
  }

  // Without an agent the meter still runs: every tick publishes zero rates.
  std::unique_ptr<TTolInterfaceTableObject> table;
  try {
    table = std::make_unique<TTolInterfaceTableObject>();
  } catch (const std::exception& e) {
    err << "Error: " << e.what() << Qt::endl;
  }

  state.KilobitMode = static_cast<uint8_t>(settings.LineNumber(1, 0));
  HeadlessMeter meter(state, table.get(), settings, out, err);

  if (parser.isSet(QStringLiteral("list-adapters"))) {
    try {
      const QStringList adapters = meter.Sampler().BuildAdapterList();
      for (int k = 0; k < adapters.size(); ++k) {
        out << k << ": " << adapters[k] << Qt::endl;
      }
    } catch (const std::exception& e) {
      err << "Error: " << e.what() << Qt::endl;
      return 1;
    }
    return 0;
  }

  // The window comes with the display controls; until then the meter runs
  // as it does with --headless.
  UnixSignalWatcher signalWatcher([&](int) {
    meter.Stop();
    QCoreApplication::quit();
  });
  meter.Start();
  return QCoreApplication::exec();
}
