// Drives the meter's window offscreen through the writes that matter:
// settings saves, history records and alarm-log values, as fast as it can,
// reporting on standard output each write that has returned:
//   "S <version>"  the settings file now holds version A or B
//   "H <day> <n>"  history record n of that day written
//   "A <day> <name> <code>"  alarm value written
// The crash-safety test kills it at random moments.
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <cstdio>

#include "config/settings_loader.h"
#include "shell/widgets/main_window.h"
#include "support/main_window_probe.h"
#include "support/scripted_ui.h"

using namespace velmar;

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString dir = QString::fromLocal8Bit(argv[1]);
  qputenv("VELMAR_REGISTRY", (dir + "/registry.db").toUtf8());
  test::ScriptedUi ui;
  // History records of "today", a fixed day, each run its own count.
  QDateTime when(QDate(2026, 12, 8), QTime(10, 0));
  MainWindow::Environment env;
  env.dates.Format = [] { return QString("yyyy-MM-dd"); };
  env.dates.Now = [&when] { return when; };
  env.agentLibrary = QStringLiteral(VELMAR_BIN_DIR "/libmib2.so");
  env.settingsFile = dir + "/Velmarsettings.ini";
  env.autostartEntry = dir + "/velmar.desktop";
  MainWindow form(env);
  form.Start();
  form.show();
  form.findChild<QPushButton*>("ActiveOn")->click();
  const MainWindowProbe probe(form);

  // An alarm that holds at every call, logged without any action.
  SettingsList& s = probe.Settings();
  s.SetLine(29, "1");
  s.SetLine(19, "0");
  s.SetLine(36, "9");
  MeterCore& core = probe.Session().Core();

  SettingsLoader saver(s, probe.View().settings, nullptr, env.settingsFile, "/x",
                       env.autostartEntry);
  int second = 0;
  for (int i = 0;; ++i) {
    // Settings: two versions of different sizes, one after the other.
    const bool a = i % 2 == 0;
    s.SetLine(40, QString(a ? 3000 : 70000, a ? 'a' : 'b'));
    saver.SaveSettings();
    std::printf("S %c\n", a ? 'A' : 'B');
    std::fflush(stdout);

    when = QDateTime(QDate(2026, 12, 8), QTime(10, 0).addSecs(second++));
    probe.Session().RecordTick();
    std::printf("H 2026-12-08 %s\n", qPrintable(when.toString("HH:mm:ss")));
    std::fflush(stdout);

    // Traffic down: the alarms are evaluated at every second publication.
    core.PublishResults(0, 125000);
    core.PublishResults(0, 125000);
    std::printf("A 2026-12-08 %s\n", qPrintable(probe.Session().Dates().DateTimeText(when)));
    std::fflush(stdout);
  }
}
