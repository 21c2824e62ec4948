// velmar: the bandwidth meter.
//   velmar                      the meter in its window, living in the tray
//   velmar --headless [--adapter K]   measure without a window, one line per tick
//   velmar --list-adapters      print the adapter list
//   velmar --history            print the recorded history
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <cstring>
#include <memory>

#include "app_paths.h"
#include "autostart.h"
#include "headless_meter.h"
#include "history_report.h"
#include "interface_table.h"
#include "key_store.h"
#include "main_window.h"
#include "product.h"
#include "settings_list.h"
#include "single_instance.h"
#include "unix_signal_watcher.h"
#include "velmar_application.h"
#include "widget_user_interface.h"

using namespace velmar;

namespace {

int RunHeadless(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(kApplicationTitle);
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
  parser.addOption({QStringLiteral("history"),
                    QStringLiteral("Print the recorded history (averages every five minutes).")});
  parser.process(app);

  SettingsList settings;
  if (!settings.LoadComplete(SettingsList::FilePath())) {
    settings.SetLines(SettingsList::DefaultLines());
  }

  if (parser.isSet(QStringLiteral("history"))) {
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

  MeasurementState state;
  state.AdapterIndex = settings.AdapterIndex();
  state.AveragingMode = settings.AveragingMode();
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
  std::unique_ptr<InterfaceTable> table;
  try {
    table = std::make_unique<InterfaceTable>();
  } catch (const std::exception& e) {
    err << "Error: " << e.what() << Qt::endl;
  }

  state.KilobitMode = settings.KilobitMode();
  HeadlessMeter meter(state, table.get(), settings, out, err);

  if (parser.isSet(QStringLiteral("list-adapters"))) {
    try {
      // A trailing " *" marks the interfaces "All" counts.
      out << "0: All" << Qt::endl;
      int k = 0;
      for (const CounterSampler::Adapter& adapter : meter.Sampler().ListAdapters()) {
        out << ++k << ": " << adapter.name << (adapter.countsInAll ? " *" : "") << Qt::endl;
      }
    } catch (const std::exception& e) {
      err << "Error: " << e.what() << Qt::endl;
      return 1;
    }
    return 0;
  }

  UnixSignalWatcher signalWatcher([&](int) {
    meter.Stop();
    QCoreApplication::quit();
  });
  meter.Start();
  return QCoreApplication::exec();
}

int RunWindow(int argc, char* argv[]) {
  VelmarApplication app(argc, argv);
  QCoreApplication::setApplicationName(kApplicationTitle);
  // The window hides to the tray; the program ends only through its own
  // ways of ending, never because its last visible window closed.
  app.setQuitOnLastWindowClosed(false);
  WidgetUserInterface ui;
  UserInterface::Set(&ui);

  SingleInstance XJustOne1(kApplicationTitle);
  XJustOne1.AlreadyExist = [&ui] {
    ui.Message(QStringLiteral(
        "Velmar is already running, please check the tray at the bottom-right of your screen."));
  };
  if (XJustOne1.Check() && XJustOne1.Terminate) {
    return 0;
  }

  MainWindow::Environment env;
  env.agentLibrary = InterfaceTable::DefaultAgentLibraryPath();
  env.settingsFile = SettingsList::FilePath();
  env.executablePath = QCoreApplication::applicationFilePath();
  env.autostartEntry = Autostart::DefaultDesktopEntryPath();
  MainWindow Form1(env);
  ui.SetParent(&Form1);
  app.ExceptionHandler = [&Form1](const std::exception& e) { Form1.ExceptionHandler(e); };
  XJustOne1.OnActivateRequest = [&Form1] { Form1.ShowMainWindow(); };
  UnixSignalWatcher signalWatcher([&Form1](int) { Form1.EndWithoutQuestion(); });

  Form1.FormCreate();
  Form1.show();
  const int result = QCoreApplication::exec();
  UserInterface::Set(nullptr);
  return result;
}

}  // namespace

int main(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--headless") == 0 || std::strcmp(argv[i], "--list-adapters") == 0 ||
        std::strcmp(argv[i], "--history") == 0 || std::strcmp(argv[i], "--help") == 0 ||
        std::strcmp(argv[i], "-h") == 0) {
      return RunHeadless(argc, argv);
    }
  }
  return RunWindow(argc, argv);
}
