// velmar: the bandwidth meter.
//   velmar                      the meter in its window (and the tray, where there is one)
//   velmar --headless [--adapter K] [--format text|json] [--metrics [ADDR:]PORT]
//                               measure without a window, one line per tick
//   velmar --list-adapters      print the adapter list
//   velmar --history            print the recorded history
//   velmar --version            print the version
//   velmar --report PROFILE     a usage report (report_main.cpp)
//   velmar --usage [--json]     the period's use and the plan (usage_main.cpp)
// Everything but the window is velmar-headless's (headless_main.cpp).
#include <limits.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/command_line.h"
#include "config/product.h"
#include "config/settings_list.h"
#include "interfaces/interface_table.h"
#include "platform/autostart.h"
#include "platform/install_layout.h"
#include "platform/unix_signal_watcher.h"
#include "report/profile_store.h"
#include "report/report_generator.h"
#include "shell/paint/application_icon.h"
#include "shell/single_instance.h"
#include "shell/widgets/main_window.h"
#include "shell/widgets/velmar_application.h"
#include "shell/widgets/widget_user_interface.h"

using namespace velmar;

namespace {

// The meter without a window is a program of its own, velmar-headless,
// beside this one: it loads Qt Core only, where this program loads the
// whole GUI. Replacing this process keeps its id, so a script
// or service manager that started `velmar --headless` still has it.
int ExecHeadless(char* argv[]) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = length > 0 ? std::string(self, static_cast<size_t>(length)) : argv[0];
  dir = dir.substr(0, dir.rfind('/') + 1);
  // Beside this program in the build folder or a portable copy; in the
  // private program folder of an installed tree, where users do not call
  // it by name.
  std::string path = dir + "velmar-headless";
  if (access(path.c_str(), X_OK) != 0) {
    path = dir + install_layout::kAgentLibraryDir + "/velmar-headless";
  }
  // argv[0] stays as the user typed it, for the help text and for ps.
  execv(path.c_str(), argv);
  std::fprintf(stderr, "velmar: cannot start %s: %s\n", path.c_str(), std::strerror(errno));
  return 127;
}

// Qt has taken its own options; none of the meter's is for the window.
// Returns the exit status of a refusal, or 0 to go on.
int RefuseWindowOptions() {
  QTextStream err(stderr);
  CommandLine options;
  if (!options.Parse(QCoreApplication::arguments(), err)) {
    return CommandLine::kUsageStatus;
  }
  if (QCoreApplication::arguments().size() > 1) {
    return CommandLine::UsageError(
        err, QStringLiteral("'%1' needs --headless").arg(QCoreApplication::arguments().at(1)));
  }
  return 0;
}

MainWindow::Environment WindowEnvironment() {
  MainWindow::Environment env;
  env.agentLibrary = InterfaceTable::DefaultAgentLibraryPath();
  env.settingsFile = SettingsList::FilePath();
  env.executablePath = QCoreApplication::applicationFilePath();
  env.autostartEntry = Autostart::DefaultDesktopEntryPath();
  return env;
}

// Starts the window and runs the event loop. A signal ends the program as
// "&End" does, in every state: dialogs that wait for the user are closed
// first, since each runs an event loop of its own. One that comes during
// the start-up lets it finish, then ends.
int RunMeter(MainWindow& window, WidgetUserInterface& ui) {
  bool started = false;
  bool ending = false;
  UnixSignalWatcher signalWatcher([&](int) {
    ending = true;
    ui.EndAll();
    if (started) {
      window.EndWithoutQuestion();
      QCoreApplication::exit(0);
    }
  });
  window.Start();
  started = true;
  if (ending) {
    window.EndWithoutQuestion();
    return 0;
  }
  window.ServeMetrics();
  window.show();
  return QCoreApplication::exec();
}

int RunWindow(int argc, char* argv[]) {
  VelmarApplication app(argc, argv);
  QCoreApplication::setApplicationName(kApplicationTitle);
  // The window hides to the tray where there is one; the program ends only
  // through its own ways of ending, never because its last visible window
  // closed.
  app.setQuitOnLastWindowClosed(false);
  if (const int refused = RefuseWindowOptions(); refused != 0) {
    return refused;
  }
  // The desktop matches the window to its entry in the application menu.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(install_layout::kApplicationId));
  QGuiApplication::setWindowIcon(ApplicationIcon());
  WidgetUserInterface ui;
  UserInterface::Set(&ui);

  SingleInstance singleInstance(kApplicationTitle);
  QObject::connect(&singleInstance, &SingleInstance::alreadyRunning, [&ui](const QString& answer) {
    ui.Message(MainWindow::AlreadyRunningText(answer));
  });
  if (singleInstance.Check() && singleInstance.Terminate) {
    return 0;
  }

  MainWindow window(WindowEnvironment());
  ui.SetParent(&window);
  QObject::connect(&app, &VelmarApplication::exceptionRaised, &window,
                   [&window](const std::exception& e) { window.ReportError(e); });
  QObject::connect(
      &singleInstance, &SingleInstance::activationRequested, &window,
      [&window](const QString& token, QString& answer) { answer = window.ComeForward(token); });
  const int result = RunMeter(window, ui);
  UserInterface::Set(nullptr);
  return result;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before any application exists: a window program that cannot be shown
  // must still answer a mistyped option.
  const QString unknown = CommandLine::UnknownLongOption(argc, argv);
  if (!unknown.isEmpty()) {
    QTextStream err(stderr);
    return CommandLine::UsageError(err, QStringLiteral("unknown option '%1'").arg(unknown));
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--headless") == 0 || std::strcmp(argv[i], "--list-adapters") == 0 ||
        std::strcmp(argv[i], "--history") == 0 || std::strcmp(argv[i], "--help") == 0 ||
        std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--version") == 0 ||
        std::strcmp(argv[i], "-v") == 0 || std::strcmp(argv[i], "--report") == 0 ||
        std::strcmp(argv[i], "--usage") == 0) {
      return ExecHeadless(argv);
    }
  }
  return RunWindow(argc, argv);
}
