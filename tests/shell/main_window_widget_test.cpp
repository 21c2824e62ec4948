#include "shell/widgets/main_window.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "config/settings_loader.h"
#include "graph/widgets/graph_window.h"
#include "history/history_recorder.h"
#include "history/offline_traffic.h"
#include "interfaces/remote_source.h"
#include "measure/widgets/indicator.h"
#include "measure/widgets/lcd_display.h"
#include "netstat/widgets/net_stat_window.h"
#include "platform/key_store.h"
#include "platform/registry.h"
#include "shell/widgets/main_tabs.h"
#include "shell/widgets/meter_panel.h"
#include "support/fake_agent_control.h"
#include "support/main_window_probe.h"
#include "support/scripted_ui.h"
#include "support/snmpd_process.h"

namespace velmar {
namespace {

using test::FakeAgent;
using test::FakeInterface;

class SteppedClock : public TickClock {
 public:
  uint32_t TickCount() const override { return now; }
  uint32_t now = 100000;
};

// Each test: its own settings directory; one key store for the binary.
class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static QTemporaryDir storeDir;
    qputenv("VELMAR_REGISTRY", storeDir.filePath("registry.db").toUtf8());
  }

  std::unique_ptr<MainWindow> Make() {
    env.agentLibrary = test::FakeAgentPath();
    env.settingsFile = dir.filePath("Velmarsettings.ini");
    env.executablePath = "/opt/velmar/velmar";
    env.autostartEntry = dir.filePath("velmar.desktop");
    agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "eth0"}});
    auto form = std::make_unique<MainWindow>(env);
    form->Start();
    return form;
  }
  void WriteSettings(std::initializer_list<std::pair<int, QString>> changes) {
    SettingsList s;
    s.SetLines(SettingsList::DefaultLines());
    for (const auto& [n, t] : changes)
      s.SetLineExtending(n, t);
    QFile f(dir.filePath("Velmarsettings.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(SettingsLoader::Serialise(s));
  }
  QByteArray SettingsBytes() {
    QFile f(dir.filePath("Velmarsettings.ini"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  template <typename T>
  T* Child(MainWindow& form, const char* name) {
    return form.findChild<T*>(QString::fromLatin1(name));
  }
  // The panel's signals are the sizer and graph menus' items.
  static MeterPanel* Panel(MainWindow& form) { return form.findChild<MeterPanel*>(); }

  // What the next Make() hands the window; tests set its seams first.
  MainWindow::Environment env;
  QTemporaryDir dir;
  FakeAgent agent;
  test::ScriptedUi ui;
};

TEST_F(MainWindowTest, FirstShowAppliesModeAndActiveLines) {
  WriteSettings({{11, "1"}, {4, "0"}});
  auto form = Make();
  EXPECT_EQ(Probe(*form).Session().AdapterList(), (QStringList{"All", "lo", "eth0"}));
  EXPECT_EQ(form->windowTitle(), MainWindow::kCaption);
  form->show();
  EXPECT_TRUE(Probe(*form).State().AnalysisActive);
  EXPECT_TRUE(Child<QPushButton>(*form, "ActiveOn")->isChecked());
  EXPECT_TRUE(Child<QPushButton>(*form, "SniffOn")->isChecked());
  EXPECT_TRUE(Child<QPushButton>(*form, "SniffOn")->isEnabled());
  EXPECT_TRUE(Probe(*form).StatusText().endsWith(" - Velmar 2000 Started in SPY MODE"));
  EXPECT_EQ(Probe(*form).Tray().Hint(), "Velmar 2000 Started in SPY MODE");
  EXPECT_EQ(form->size(), QSize(281, 496)) << "no placement saved yet";
  // A second show is not a first show.
  form->hide();
  form->show();
  EXPECT_TRUE(Probe(*form).State().AnalysisActive);
}

TEST_F(MainWindowTest, GenerateAtStartWithTheBareSchemeIsRefused) {
  WriteSettings({{4, "1"}, {3, "http://"}});
  auto form = Make();
  form->show();
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_EQ(ui.messages[0], AnalysisControl::kRefusal);
  EXPECT_TRUE(Child<QPushButton>(*form, "SniffOn")->isChecked());
  EXPECT_FALSE(Probe(*form).State().AnalysisActive);
  EXPECT_TRUE(Probe(*form).StatusText().endsWith(" - Velmar 2000 Stopped"));
  EXPECT_FALSE(Child<QPushButton>(*form, "SniffOn")->isEnabled());
}

// The data plan at each history record: in the tray tip under the speeds,
// over the total, and its first warning latched on line 61.
TEST_F(MainWindowTest, ThePlanInTheTrayTipAndOverTheTotal) {
  WriteSettings({{11, "1"}, {13, "2"}, {56, "10 GB"}, {59, "eth0"}});
  CounterSnapshot counters{"widget-test-boot", {}, {{2, "eth0", 0, 0}}};
  env.counters = [&counters] { return counters; };
  auto form = Make();
  form->show();
  MeterSession& session = Probe(*form).Session();
  session.RecordTick();
  counters.interfaces[0].received = 8'500'000'000;
  session.RecordTick();
  const QString tip = Probe(*form).Tray().Tip();
  EXPECT_TRUE(tip.contains("\nPlan: 8.50 GB of 10.0 GB used, 1.50 GB left\n")) << tip.toStdString();
  EXPECT_TRUE(Child<LcdDisplay>(*form, "TrafficLCD")
                  ->toolTip()
                  .startsWith("Data plan: 8.50 GB of 10.0 GB used (85 %), 1.50 GB left, "));
  const QLabel* badge = Child<QLabel>(*form, "planPanel");
  EXPECT_TRUE(badge->isVisible());
  EXPECT_TRUE(badge->text().startsWith("Plan 85 %, ")) << badge->text().toStdString();
  EXPECT_TRUE(Probe(*form).Settings().Line(SettingsLine::kPlanWarned).endsWith(":80"));
  EXPECT_TRUE(SettingsBytes().contains(":80\r\n")) << "the latch is saved at once";
}

// What the measured interface carried while measuring was off is in the
// total at the next start, and in the history as such.
TEST_F(MainWindowTest, TheTotalIncludesWhatPassedWhileNotMeasuring) {
  WriteSettings({{11, "1"}, {13, "2"}});
  CounterSnapshot counters{"widget-test-boot", {}, {{2, "eth0", 1000, 1000}, {1, "lo", 0, 0}}};
  env.counters = [&counters] { return counters; };
  auto form = Make();
  form->show();
  Child<QPushButton>(*form, "ActiveOff")->click();
  const MeasurementState& state = Probe(*form).State();
  const uint64_t before = state.TotalTraffic;
  counters.interfaces[0].received += 300'000;
  counters.interfaces[0].transmitted += 20'000;
  counters.interfaces[1].received += 999'999;  // not the measured interface
  Child<QPushButton>(*form, "ActiveOn")->click();
  EXPECT_EQ(state.TotalTraffic, before + 320'000);
}

TEST_F(MainWindowTest, TicksPublishToTheDisplays) {
  WriteSettings({{11, "1"}, {13, "2"}});
  // Drive the tick directly, a second apart on the window's clock.
  SteppedClock clock;
  env.clock = &clock;
  auto form = Make();
  form->show();
  const MeasurementState& state = Probe(*form).State();
  ResultDisplays& displays = Probe(*form).View().displays;
  SettingsList& settings = Probe(*form).Settings();
  TrayMenu& tray = Probe(*form).Tray();
  MeterCore& core = Probe(*form).Session().Core();
  const auto tick = [&] {
    clock.now += 1000;
    core.Tick();
  };
  core.Tick();  // stamps
  agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "eth0", 1000, 1000}});
  tick();  // first reading
  agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "eth0", 126000, 1000}});
  tick();
  EXPECT_NEAR(displays.Value(Display::DownDigits), 1000, 1);
  EXPECT_EQ(displays.Value(Display::UpDigits), 0);
  EXPECT_EQ(settings.Line(7), "122") << "125000 bytes in KBytes, rounded";
  EXPECT_TRUE(QRegularExpression("\nDown (99\\d|1000)\\.\\d\\d  Up 0\\.00 Kb/s$")
                  .match(tray.Tip())
                  .hasMatch())
      << tray.Tip().toStdString();
  EXPECT_TRUE(tray.Tip().startsWith(tray.Hint() + "\n"));

  // 250 Mbit/s: the caption, the displays and the tray tip move to Mb/s.
  agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "eth0", 31376000, 1000}});
  tick();
  EXPECT_EQ(Child<QLabel>(*form, "unitLabel")->text(), "Mb/s.");
  EXPECT_NEAR(displays.Value(Display::DownDigits), 250, 1);
  EXPECT_TRUE(
      QRegularExpression("\nDown 2(49|50)\\.\\d\\d  Up 0\\.00 Mb/s$").match(tray.Tip()).hasMatch())
      << tray.Tip().toStdString();

  // "Clear" resets the total itself: the next tick adds only new traffic.
  ASSERT_GT(displays.Value(Display::TrafficLCD), 30000);
  Child<QPushButton>(*form, "clearTotalButton")->click();
  EXPECT_EQ(settings.Line(7), "0");
  agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "eth0", 31478400, 1000}});
  tick();
  EXPECT_EQ(displays.Value(Display::TrafficLCD), 100) << "102400 bytes since the clearing";
  EXPECT_EQ(settings.Line(7), "100");

  // SLEEP clears the actual displays, and the tray tip's speeds with them;
  // the lock keeps the averages.
  Child<QPushButton>(*form, "ActiveOff")->click();
  EXPECT_FALSE(state.AnalysisActive);
  EXPECT_EQ(displays.Value(Display::DownDigits), 0);
  EXPECT_TRUE(Probe(*form).StatusText().endsWith(" - Velmar 2000 Stopped"));
  EXPECT_EQ(tray.Tip(), "Velmar 2000 Stopped");
}

TEST_F(MainWindowTest, ErrorsAreReportedWithTheirSectionAndTheProgramGoesOn) {
  auto form = Make();
  form->show();
  Probe(*form).Session().SetSection(213);
  form->ReportError(Exception("SNMP query failed."));
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages[0].startsWith("Error: SNMP query failed.\r\nin program section 213\r\n"));
  EXPECT_EQ(Probe(*form).StatusText(), "Error :SNMP query failed.");
  EXPECT_GE(ui.beeps, 1);

  // A tick while the report is open fails again (an alarm mail without a
  // mail system): the status bar says so, no second dialog opens over it.
  ui.duringMessage = [&] { form->ReportError(Exception("No mail system.")); };
  form->ReportError(Exception("SNMP query failed."));
  EXPECT_EQ(ui.messages.size(), 2);
  EXPECT_EQ(Probe(*form).StatusText(), "Error :No mail system.") << "the latest error";
  form->ReportError(Exception("No mail system."));
  EXPECT_EQ(ui.messages.size(), 3) << "once closed, the next error is reported again";
}

TEST_F(MainWindowTest, LineSixtyFiveStartsAndStopsTheProgramReadingsAtOnce) {
  auto form = Make();
  MeterSession& session = Probe(*form).Session();
  EXPECT_FALSE(session.RecordsPrograms()) << "off by default";
  session.Settings().SetLineExtending(SettingsLine::kProgramHistory, "1");
  session.RecordPrograms();
  EXPECT_TRUE(session.RecordsPrograms());
  session.Settings().SetLine(SettingsLine::kProgramHistory, "");
  session.RecordPrograms();
  EXPECT_FALSE(session.RecordsPrograms());
  // The readings went with their connection: a publication now reads none.
  emit session.Core().published(0, 0);
}

// A TCP socket listening on a free loopback port, or connecting to one.
int LoopbackSocket(uint16_t port, bool listening) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const auto* at = reinterpret_cast<sockaddr*>(&a);
  const bool ok = listening ? bind(fd, at, sizeof a) == 0 && listen(fd, 1) == 0
                            : connect(fd, at, sizeof a) == 0;
  if (!ok) {
    close(fd);
    return -1;
  }
  return fd;
}

uint16_t PortOf(int fd) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

TEST_F(MainWindowTest, TheMetricsEndpointIsServedWhileTheWindowLastsAndAFailureIsTold) {
  // A port someone else holds: told, and the meter goes on without.
  const int holder = LoopbackSocket(0, true);
  ASSERT_GE(holder, 0);
  const QString busy = QStringLiteral("127.0.0.1:%1").arg(PortOf(holder));
  WriteSettings({{static_cast<int>(SettingsLine::kMetricsAddress), busy}});
  auto form = Make();
  form->ServeMetrics();
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages[0].contains("Cannot serve metrics on " + busy))
      << ui.messages[0].toStdString();
  form.reset();

  // A free port: served until the window goes, fed by the ticks meanwhile,
  // and nothing is left hooked into it when the window goes.
  const uint16_t port = PortOf(holder);
  close(holder);
  WriteSettings({{static_cast<int>(SettingsLine::kMetricsAddress), QString::number(port)}});
  form = Make();
  form->ServeMetrics();
  EXPECT_EQ(ui.messages.size(), 1) << "no second message";
  const int client = LoopbackSocket(port, false);
  EXPECT_GE(client, 0) << "the endpoint listens";
  close(client);
  MeterCore& core = Probe(*form).Session().Core();
  core.StartMeasuring();
  core.Tick();
  core.Tick();
  form.reset();
  const int late = LoopbackSocket(port, false);
  EXPECT_LT(late, 0) << "gone with the window";
  close(late);
}

// One scrape of the window's endpoint over HTTP/1.0 (the server closes
// after its answer), with the event loop running meanwhile.
std::string Scrape(uint16_t port) {
  const int fd = LoopbackSocket(port, false);
  if (fd < 0) {
    return {};
  }
  const std::string request = "GET /metrics HTTP/1.0\r\n\r\n";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string got;
  for (int i = 0; i < 800; ++i) {
    char buffer[65536];
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN)) {
      break;
    }
    if (n > 0) {
      got.append(buffer, static_cast<size_t>(n));
    } else {
      QTest::qWait(25);
    }
  }
  close(fd);
  return got;
}

// The interfaces' `interface` labels of a page.
QStringList InterfacesOn(const std::string& page) {
  QStringList names;
  static const QRegularExpression sample(
      QStringLiteral("^velmar_interface_receive_bytes_total\\{(device=\"[^\"]*\",)?interface="
                     "\"([^\"]*)\""),
      QRegularExpression::MultilineOption);
  for (auto it = sample.globalMatch(QString::fromStdString(page)); it.hasNext();) {
    names << it.next().captured(2);
  }
  return names;
}

TEST_F(MainWindowTest, TheEndpointShowsTheMeasuredDevicesInterfacesThroughLine54) {
  test::SnmpdProcess snmpd;
  if (!snmpd.Start()) {
    GTEST_SKIP() << "snmpd is not installed (scripts/setup-deps installs it)";
  }
  qputenv("VELMAR_REMOTE_AGENT_LIBRARY", VELMAR_BIN_DIR "/libmib2remote.so");
  RemoteSource device;
  device.host = "127.0.0.1";
  device.port = snmpd.Port();
  device.community = test::SnmpdProcess::kCommunity;
  device.SaveSecrets(KeyStore::Default());
  const int holder = LoopbackSocket(0, true);
  const uint16_t port = PortOf(holder);
  close(holder);
  const auto write = [&](const QString& filter) {
    SettingsList file;
    file.SetLines(SettingsList::DefaultLines());
    device.ToSettings(file);
    file.SetLineExtending(static_cast<int>(SettingsLine::kMetricsAddress), QString::number(port));
    file.SetLineExtending(static_cast<int>(SettingsLine::kMetricsInterfaceFilter), filter);
    QFile f(dir.filePath("Velmarsettings.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(SettingsLoader::Serialise(file));
  };

  // An expression that does not compile: told, and nothing served.
  write(QStringLiteral("(eth\t"));
  auto form = Make();
  form->ServeMetrics();
  ASSERT_EQ(ui.messages.size(), 1);
  const int refused = LoopbackSocket(port, false);
  EXPECT_LT(refused, 0) << "no endpoint";
  close(refused);
  form.reset();

  // The device's own table, named, with the interfaces line 54 lets
  // through: all but the loopback, which every snmpd has. snmpd takes a
  // moment to answer.
  write(QStringLiteral("\tlo"));
  form = Make();
  form->ServeMetrics();
  EXPECT_EQ(ui.messages.size(), 1) << ui.messages.last().toStdString();
  const std::string up =
      QStringLiteral("velmar_device_up{device=\"127.0.0.1:%1\"} 1").arg(snmpd.Port()).toStdString();
  std::string page;
  for (int i = 0; i < 40 && page.find(up) == std::string::npos; ++i) {
    QTest::qWait(250);
    page = Scrape(port);
  }
  EXPECT_NE(page.find(up), std::string::npos) << page;
  EXPECT_FALSE(InterfacesOn(page).contains("lo")) << page;

  // This computer again: its kernel's interfaces, through the same filter.
  RemoteSource::ChooseLocal(Probe(*form).Settings());
  Probe(*form).Dialogs().ChangeSource();
  page = Scrape(port);
  EXPECT_EQ(page.find("device="), std::string::npos) << page;
  EXPECT_NE(page.find("velmar_build_info"), std::string::npos) << page;
  EXPECT_FALSE(InterfacesOn(page).contains("lo")) << page;
  qunsetenv("VELMAR_REMOTE_AGENT_LIBRARY");
}

TEST_F(MainWindowTest, WithoutATrayClosingAsksAsEndDoesAndLeavesTheFileAlone) {
  auto form = Make();
  form->show();
  ASSERT_FALSE(form->TrayShown()) << "the offscreen platform has no tray";
  const QByteArray before = SettingsBytes();
  form->close();  // No
  EXPECT_EQ(ui.questions, QStringList{"This will end the Velmar program.  Exit now?"});
  EXPECT_FALSE(Probe(*form).CloseAllowed());
  EXPECT_TRUE(form->isVisible()) << "kept, not hidden where nothing brings it back";

  form->EndWithQuestion();  // No
  EXPECT_EQ(ui.questions.size(), 2);
  EXPECT_FALSE(Probe(*form).CloseAllowed());

  ui.answers.push_back(UserInterface::Answer::Yes);
  form->EndWithQuestion();
  EXPECT_TRUE(Probe(*form).CloseAllowed());
  EXPECT_EQ(SettingsBytes(), before);
  EXPECT_TRUE(ui.saveQuestions.isEmpty()) << "nothing changed, nothing to save";
}

TEST_F(MainWindowTest, EndWithUnsavedSettingsAsksSaveDiscardOrCancel) {
  WriteSettings({{4, "0"}});
  auto form = Make();
  form->show();
  // The running total and the mode buttons are the meter's own state.
  Probe(*form).Settings().SetLine(SettingsLine::kTrafficTotal, "99");
  Probe(*form).Settings().SetLine(SettingsLine::kStartGenerating, "1");
  ui.answers.push_back(UserInterface::Answer::No);
  form->EndWithQuestion();
  EXPECT_TRUE(ui.saveQuestions.isEmpty());

  // A changed setting: Cancel keeps the program and the change.
  Probe(*form).Settings().SetLine(SettingsLine::kAlarmTarget, "ops@example.test");
  ui.saveChoices = {UserInterface::SaveChoice::Cancel};
  form->EndWithQuestion();
  EXPECT_EQ(ui.saveQuestions, QStringList{MainWindow::kUnsavedQuestion});
  EXPECT_EQ(ui.questions.size(), 1) << "no second question after the first";
  EXPECT_FALSE(Probe(*form).CloseAllowed());
  EXPECT_EQ(Probe(*form).Settings().Line(SettingsLine::kAlarmTarget), "ops@example.test");

  // Save writes them and ends.
  ui.saveChoices = {UserInterface::SaveChoice::Save};
  form->EndWithQuestion();
  EXPECT_TRUE(Probe(*form).CloseAllowed());
  SettingsList saved;
  ASSERT_TRUE(saved.LoadFromFile(dir.filePath("Velmarsettings.ini")));
  EXPECT_EQ(saved.Line(SettingsLine::kAlarmTarget), "ops@example.test");

  // Discard ends and leaves the file as it was; so does the close box.
  WriteSettings({});
  auto second = Make();
  second->show();
  const QByteArray unchanged = SettingsBytes();
  Probe(*second).Settings().SetLine(SettingsLine::kAlarmAction, "4");
  ui.saveChoices = {UserInterface::SaveChoice::Discard};
  second->close();
  EXPECT_TRUE(Probe(*second).CloseAllowed());
  EXPECT_EQ(SettingsBytes(), unchanged);
}

TEST_F(MainWindowTest, SaveWritesTheFileAndAFailedSaveStillEnds) {
  WriteSettings({{4, "0"}});
  auto form = Make();
  form->show();
  Probe(*form).Settings().SetLine(15, "1234");
  form->SaveSettingsAndQuit();
  EXPECT_TRUE(Probe(*form).CloseAllowed());
  SettingsList saved;
  ASSERT_TRUE(saved.LoadFromFile(dir.filePath("Velmarsettings.ini")));
  EXPECT_EQ(saved.Line(15), "1234");
  EXPECT_EQ(saved.Line(4), "0");

  // The folder cannot be had (a file stands in its place): the save fails,
  // the user is told why, it ends.
  auto second = Make();
  second->show();
  const QString folder = dir.path();
  dir.remove();
  QFile blocker(folder);
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  second->SaveSettingsAndQuit();
  QFile::remove(folder);
  ASSERT_FALSE(ui.messages.isEmpty());
  EXPECT_TRUE(
      ui.messages.last().startsWith("Save to disk failed!\r\nCannot create the settings "
                                    "folder " +
                                    folder))
      << ui.messages.last().toStdString();
  EXPECT_TRUE(Probe(*second).CloseAllowed());
}

TEST_F(MainWindowTest, DiscardStopsAndForgetsTheRun) {
  WriteSettings({{11, "1"}});
  auto form = Make();
  form->show();
  const QByteArray before = SettingsBytes();
  Probe(*form).Settings().SetLine(38, "0");
  form->DiscardAndQuit();
  EXPECT_FALSE(Probe(*form).State().AnalysisActive);
  EXPECT_TRUE(Probe(*form).CloseAllowed());
  EXPECT_EQ(SettingsBytes(), before);
}

TEST_F(MainWindowTest, ADeviceAwayAtTheStartIsToldAndListedOnceItAnswers) {
  qputenv("VELMAR_REMOTE_AGENT_LIBRARY", VELMAR_BIN_DIR "/libmib2remote.so");
  RemoteSource device;
  device.host = "127.0.0.1";
  device.port = test::SnmpdProcess::FreePort();
  device.community = test::SnmpdProcess::kCommunity;
  device.SaveSecrets(KeyStore::Default());
  SettingsList file;
  file.SetLines(SettingsList::DefaultLines());
  file.SetLine(1, "1");
  file.SetLine(13, "1");
  device.ToSettings(file);
  QFile f(dir.filePath("Velmarsettings.ini"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(SettingsLoader::Serialise(file));
  f.close();

  MainWindow::Environment env;
  env.agentLibrary = test::FakeAgentPath();
  env.settingsFile = dir.filePath("Velmarsettings.ini");
  env.autostartEntry = dir.filePath("velmar.desktop");
  MainWindow form(env);
  form.Start();
  // Not a failed start: the settings applied, the choice kept for the
  // device, the readings say why they fail.
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.value(0).toStdString();
  MeterSession& session = Probe(form).Session();
  const QStringList& adapters = session.AdapterList();
  EXPECT_EQ(session.State().KilobitMode, 1);
  EXPECT_EQ(session.State().AdapterIndex, 1);
  EXPECT_EQ(adapters, QStringList{"All"});
  ASSERT_NE(session.Table(), nullptr);
  session.Core().StartMeasuring();
  session.Core().Tick();
  session.Core().Tick();
  EXPECT_TRUE(Probe(form).StatusText().contains(
      QStringLiteral("Nothing listens for SNMP at 127.0.0.1:%1").arg(device.port)))
      << Probe(form).StatusText().toStdString();
  EXPECT_FALSE(Probe(form).StatusText().contains(device.community));

  // The device comes up: the next reading lists its interfaces and the
  // chosen one's caption.
  qunsetenv("VELMAR_REMOTE_AGENT_LIBRARY");
  test::SnmpdProcess snmpd;
  if (!snmpd.Start(device.port)) {
    GTEST_SKIP() << "snmpd is not installed: the device cannot come up";
  }
  for (int i = 0; i < 120 && adapters.size() < 2; ++i) {
    session.Core().Tick();
    QTest::qWait(250);
  }
  session.Core().StopMeasuring();
  ASSERT_GE(adapters.size(), 2) << Probe(form).StatusText().toStdString();
  EXPECT_EQ(adapters[1], "lo");
  EXPECT_TRUE(Child<QLabel>(form, "AdapterLabel")->text().contains("lo"));
  EXPECT_EQ(Probe(form).StatusText(), "Readings resumed.");
  EXPECT_EQ(session.Settings().Line(SettingsLine::kAdapterName), "lo") << "kept by name";

  // Choosing this computer again loads the local agent.
  RemoteSource::ChooseLocal(session.Settings());
  agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "eth0"}});
  Probe(form).Dialogs().ChangeSource();
  EXPECT_EQ(adapters, (QStringList{"All", "lo", "eth0"}));
  // A save writes the source's lines whatever the file had.
  session.SaveSettings(false);
  SettingsList saved;
  ASSERT_TRUE(saved.LoadFromFile(dir.filePath("Velmarsettings.ini")));
  // The chosen interface's name went in when the device listed it (line
  // 53), and out with the change of source.
  EXPECT_EQ(saved.Count(), static_cast<int>(SettingsLine::kAdapterName) + 1);
  EXPECT_EQ(saved.Line(SettingsLine::kAdapterName), "");
  EXPECT_EQ(saved.Line(SettingsLine::kSourceKind), "local");
  EXPECT_EQ(saved.Line(SettingsLine::kDeviceHost), "127.0.0.1");
  qunsetenv("VELMAR_REMOTE_AGENT_LIBRARY");
}

TEST_F(MainWindowTest, WithoutAnAgentTheWindowStillComesUpWithItsSettings) {
  MainWindow::Environment env;
  env.agentLibrary = "/nonexistent/libmib2.so";
  env.settingsFile = dir.filePath("Velmarsettings.ini");
  env.autostartEntry = dir.filePath("velmar.desktop");
  WriteSettings({{1, "1"}, {11, "1"}});
  MainWindow form(env);
  form.Start();
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages[0].contains("SNMP extension agent library is not available."));
  EXPECT_TRUE(ui.messages[0].contains("in program section 9"));
  EXPECT_EQ(Probe(form).State().KilobitMode, 1) << "the settings were still applied";
  EXPECT_EQ(Probe(form).Session().AdapterList(), QStringList{"All"});
  form.show();
  Probe(form).Session().Core().Tick();
  Probe(form).Session().Core().Tick();
  EXPECT_EQ(Probe(form).View().displays.Value(Display::DownDigits), 0);
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

TEST_F(MainWindowTest, SizerLayoutsAndTheirWayBack) {
  auto form = Make();
  form->show();
  const int fullHeight = form->height();
  const WindowSizer& sizer = Probe(*form).Sizer();
  emit Panel(*form)->onlyBottom();
  EXPECT_TRUE(sizer.SizerActive());
  EXPECT_LT(form->height(), fullHeight);
  EXPECT_EQ(form->height(),
            2 * form->findChild<MainTabs*>()->SheetTop() + Panel(*form)->height() + 20);
  EXPECT_EQ(Probe(*form).State().ProgramSection, 24);
  // Any change of tab brings the full window back.
  Child<QTabWidget>(*form, "tabs")->setCurrentIndex(0);
  EXPECT_FALSE(sizer.SizerActive());
  EXPECT_EQ(form->height(), fullHeight);

  emit Panel(*form)->onlyTop();
  EXPECT_TRUE(Probe(*form).GaugeOpensMenu());
  EXPECT_FALSE(Child<QWidget>(*form, "displayPanel")->isVisible());
  // Saving restores the full layout first, so the saved place is whole.
  form->SaveSettingsAndQuit();
  EXPECT_FALSE(sizer.SizerActive());
  EXPECT_EQ(form->height(), fullHeight);
  EXPECT_FALSE(Probe(*form).GaugeOpensMenu());
}

TEST_F(MainWindowTest, TipsAreRememberedInMemoryOnly) {
  auto form = Make();
  form->show();
  Probe(*form).View().analysis.ShowTip(Tip::kAverageUnlocked);
  ASSERT_EQ(ui.tips.size(), 1);
  EXPECT_TRUE(ui.tips[0].startsWith("If you leave off the Average lock"));
  EXPECT_EQ(Probe(*form).Settings().Line(37), "1");
  ui.tipDontRemind = true;
  agent.Interfaces({FakeInterface{1, "lo", 0, 0, 24}, FakeInterface{2, "eth0"}});
  Probe(*form).View().analysis.ShowTip(Tip::kAllAdapters);
  ASSERT_EQ(ui.tips.size(), 2);
  EXPECT_TRUE(
      ui.tips[1].endsWith("\"All\" counts the interfaces at the bottom of the stack (no "
                          "interface has a connector): eth0."))
      << ui.tips[1].toStdString();
  EXPECT_EQ(Probe(*form).Settings().Line(38), "0");
  Probe(*form).View().analysis.ShowTip(Tip::kAllAdapters);
  EXPECT_EQ(ui.tips.size(), 2) << "a tip marked 'don't remind me' stays away";
  // The lock button shows tip 37 when the lock goes off.
  Child<QPushButton>(*form, "AvgLockButton")->click();
  EXPECT_EQ(ui.tips.size(), 3);
  EXPECT_EQ(Probe(*form).Settings().Line(37), "0");
  // "Discard changes and Quit" forgets both ticks.
  const QByteArray before = SettingsBytes();
  form->DiscardAndQuit();
  EXPECT_EQ(SettingsBytes(), before);
  SettingsList saved;
  ASSERT_TRUE(saved.LoadFromFile(dir.filePath("Velmarsettings.ini")));
  EXPECT_EQ(saved.Line(38), "1");
}

TEST_F(MainWindowTest, HideAndShowThroughTheTrayMenu) {
  auto form = Make();
  form->show();
  TrayMenu& tray = Probe(*form).Tray();
  emit tray.hideChosen();
  EXPECT_EQ(Probe(*form).State().ProgramSection, 13);
  EXPECT_TRUE(!form->isVisible() || form->isMinimized());
  emit tray.showChosen();
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->isMinimized());
  EXPECT_EQ(Probe(*form).State().ProgramSection, 10);
  // "Stay on Top" from the menu changes the style, not line 12.
  emit tray.stayOnTopToggled();
  EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(Probe(*form).Settings().Line(12), "0");
  emit tray.stayOnTopToggled();
  EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

TEST_F(MainWindowTest, HelpAndWebPageOpenThroughTheDesktopOpener) {
  // An opener that records what it was asked to open.
  const QString opener = dir.filePath("opener.sh");
  const QString record = dir.filePath("opened.txt");
  QFile script(opener);
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n").arg(record).toUtf8());
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("VELMAR_OPENER", opener.toUtf8());

  auto form = Make();
  form->show();
  const auto opened = [&](int lines) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
      QFile f(record);
      if (f.open(QIODevice::ReadOnly)) {
        const QStringList got = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
        if (got.size() >= lines)
          return got;
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return QStringList();
  };
  Child<QPushButton>(*form, "helpButton")->click();
  QStringList got = opened(1);
  ASSERT_EQ(got.size(), 1);
  EXPECT_TRUE(got[0].endsWith("/help/index.html")) << got[0].toStdString();
  EXPECT_TRUE(QFile::exists(got[0])) << "the manual is installed beside the executable";
  EXPECT_EQ(Probe(*form).State().ProgramSection, 60);

  Child<QPushButton>(*form, "webSiteButton")->click();
  got = opened(2);
  ASSERT_EQ(got.size(), 2);
  EXPECT_EQ(got[1], Probe(*form).WebPageAddress());
  EXPECT_EQ(Probe(*form).State().ProgramSection, 54);
  qunsetenv("VELMAR_OPENER");
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

TEST_F(MainWindowTest, HistoryTimerRecordsAndTheMaintenanceCommands) {
  QTemporaryDir app;
  qputenv("VELMAR_APP_DIR", app.path().toUtf8());
  QDate today(2026, 12, 8);
  env.dates.Format = [] { return QString("yyyy-MM-dd"); };
  env.dates.Now = [&] { return QDateTime(today, QTime(10, 0)); };
  // The suite shares one store: records earlier cases made at the real
  // date, in another format, are not this case's to purge.
  {
    Registry earlier(KeyStore::Default());
    earlier.SetRootKey(KeyRoot::kMachine);
    earlier.DeleteKey(HistoryRecorder::kHistoryKey);
  }
  auto form = Make();
  form->show();
  MeterSession& session = Probe(*form).Session();
  const QTimer& historyTimer = session.HistoryTimer();

  // The history timer runs exactly while measuring, each start a full period.
  Child<QPushButton>(*form, "ActiveOn")->click();
  EXPECT_TRUE(historyTimer.isActive());
  EXPECT_EQ(historyTimer.interval(), 300000);
  EXPECT_GT(historyTimer.remainingTime(), 299000);
  session.RecordTick();
  today = QDate(2026, 12, 5);
  session.RecordTick();
  Child<QPushButton>(*form, "ActiveOff")->click();
  EXPECT_FALSE(historyTimer.isActive());
  session.RecordTick();  // not measuring: nothing
  today = QDate(2026, 12, 8);
  Registry reg(KeyStore::Default());
  reg.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey, false));
  EXPECT_TRUE(reg.GetKeyNames().contains("2026-12-08"));
  EXPECT_TRUE(reg.GetKeyNames().contains("2026-12-05"));

  // Purge: the date dialog cancelled cancels everything.
  Probe(*form).Dialogs().PurgeHistory();
  EXPECT_TRUE(ui.questions.isEmpty());
  // Backup (saved into HistoryBackups), then the purge up to today.
  ui.dates.push_back(QDate(2026, 12, 8));
  ui.answers = {UserInterface::Answer::Yes, UserInterface::Answer::Yes};
  const QString backup = app.filePath("HistoryBackups/H_120826.reg");
  ui.files.push_back(backup);
  Probe(*form).Dialogs().PurgeHistory();
  EXPECT_EQ(ui.fileDialogs.last(), "save:" + app.filePath("HistoryBackups") + "|H_120826|reg");
  EXPECT_TRUE(QFile::exists(backup));
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages[0].startsWith("Velmar History is saved as \"hive file\" in directory " +
                                        app.filePath("HistoryBackups") + "\r\n"));
  EXPECT_EQ(ui.questions.last(),
            "This will clear all recorded history events up to (but not including) 2026-12-08. "
            "Are you sure?");
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey, false));
  EXPECT_EQ(reg.GetKeyNames(), QStringList{"2026-12-08"});

  // Restore brings the backup back.
  ui.files.push_back(backup);
  ui.answers = {UserInterface::Answer::Yes};
  Probe(*form).Dialogs().RestoreHistory();
  EXPECT_EQ(ui.messages.last(), "History data was succesfully added/restored to the registry!");
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey, false));
  EXPECT_EQ(reg.GetKeyNames(), (QStringList{"2026-12-05", "2026-12-08"}));
  // A file that is no hive: nothing changes, nothing is shown.
  const int shown = ui.messages.size();
  ui.files.push_back(dir.filePath("Velmarsettings.ini"));
  ui.answers = {UserInterface::Answer::Yes};
  Probe(*form).Dialogs().RestoreHistory();
  EXPECT_EQ(ui.messages.size(), shown);
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey, false));
  EXPECT_EQ(reg.GetKeyNames().size(), 2);

  // Profiles: outside refused with a message; inside asked and deleted.
  QDir(app.path()).mkpath("Profiles/weekly");
  QFile f(app.filePath("Profiles/weekly/w.prf"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  ui.files.push_back(dir.path());
  Probe(*form).Dialogs().DeleteProfiles();
  EXPECT_TRUE(ui.messages.last().contains("is not a report profile"));
  EXPECT_TRUE(QFile::exists(dir.filePath("Velmarsettings.ini")));
  ui.files.push_back(app.filePath("Profiles/weekly"));
  ui.answers = {UserInterface::Answer::Yes};
  Probe(*form).Dialogs().DeleteProfiles();
  EXPECT_EQ(ui.messages.last(), "Profile " + app.filePath("Profiles/weekly") + "/ deleted");
  EXPECT_FALSE(QFileInfo::exists(app.filePath("Profiles/weekly")));
  EXPECT_EQ(Probe(*form).State().ProgramSection, 52);
  qunsetenv("VELMAR_APP_DIR");
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

TEST_F(MainWindowTest, TheNetStatButtonOpensOneWindowOverTheSharedTable) {
  auto form = Make();
  form->show();
  bool seen = false;
  QTimer::singleShot(200, [&] {
    seen = NetStatWindow::Instance() != nullptr && NetStatWindow::Instance()->isVisible();
    if (NetStatWindow::Instance())
      NetStatWindow::Instance()->close();
  });
  Child<QPushButton>(*form, "netStatButton")->click();
  EXPECT_TRUE(seen);
  EXPECT_EQ(NetStatWindow::Instance(), nullptr) << "freed when closed";
  EXPECT_EQ(Probe(*form).State().ProgramSection, 42);
}

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

TEST_F(MainWindowTest, ChartMenuOpensOneGraphWindowThatFollowsTheTicks) {
  auto form = Make();
  form->show();
  QMenu* menu = Panel(*form)->GraphMenu();
  ASSERT_EQ(menu->actions().size(), 3);
  EXPECT_EQ(menu->actions()[0]->text(), "&Live Data Graph");
  EXPECT_EQ(menu->actions()[1]->text(), "Averages &History");
  EXPECT_EQ(menu->actions()[2]->text(), "&Close");
  menu->actions()[0]->trigger();
  ASSERT_NE(Probe(*form).Graphs().Window(), nullptr);
  EXPECT_EQ(Probe(*form).Graphs().GraphMode(), 1);
  EXPECT_EQ(Probe(*form).State().ProgramSection, 33);
  GraphWindow* first = Probe(*form).Graphs().Window();
  menu->actions()[1]->trigger();
  EXPECT_EQ(Probe(*form).Graphs().Window(), first) << "a mode switch keeps the one window";
  EXPECT_EQ(Probe(*form).Graphs().GraphMode(), 2);
  ASSERT_NE(Probe(*form).Graphs().Feed(), nullptr);
  menu->actions()[2]->trigger();
  EXPECT_EQ(Probe(*form).Graphs().Window(), nullptr);
  EXPECT_EQ(Probe(*form).Graphs().Feed(), nullptr);

  // The shutdown closes an open graph window.
  menu->actions()[0]->trigger();
  ASSERT_NE(Probe(*form).Graphs().Window(), nullptr);
  form->EndWithoutQuestion();
  EXPECT_EQ(Probe(*form).Graphs().Window(), nullptr);
}

TEST_F(MainWindowTest, SetupDialogsRefuseWhileMeasuring) {
  auto form = Make();
  form->show();
  Child<QPushButton>(*form, "ActiveOn")->click();
  Child<QPushButton>(*form, "wizardButton")->click();
  Child<QPushButton>(*form, "setupButton")->click();
  EXPECT_EQ(ui.messages, (QStringList{"Velmar analysis is currently running, please stop first!",
                                      "Velmar analysis is currently running, please stop first!"}));
  EXPECT_EQ(Probe(*form).State().ProgramSection, 41);
}

TEST_F(MainWindowTest, AFailedGenerateDownloadIsInTheStatusBarAndTriedAgain) {
  // A port bound but not listening refuses, and no other test can take it.
  const int held = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(held, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(held, reinterpret_cast<sockaddr*>(&address), &length), 0);
  WriteSettings(
      {{4, "1"}, {11, "1"}, {3, QString("http://127.0.0.1:%1/f").arg(ntohs(address.sin_port))}});
  auto form = Make();
  form->show();
  const TrafficGenerator& generator = Probe(*form).Session().Generator();
  // The measurement ticks start the downloads; the second follows the
  // first failure's pause of a second.
  for (const uint64_t ended : {1, 2}) {
    QElapsedTimer guard;
    guard.start();
    while (generator.DownloadsEnded() < ended && guard.elapsed() < 30000) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    ASSERT_EQ(generator.DownloadsEnded(), ended);
    EXPECT_TRUE(
        Probe(*form).StatusText().endsWith(QString(" - Download failed: [10061] Connection "
                                                   "refused (127.0.0.1:%1); next try in %2 s")
                                               .arg(ntohs(address.sin_port))
                                               .arg(ended)))
        << Probe(*form).StatusText().toStdString();
  }
  EXPECT_TRUE(ui.messages.isEmpty()) << "no error report";
  ::close(held);
}

TEST_F(MainWindowTest, SpeedsAreLitYellowAndTheAverageBarIsBlue) {
  auto form = Make();
  form->show();
  const QColor yellow(255, 255, 0), lime(0, 255, 0), blue(149, 173, 255);
  for (const char* name :
       {"DownDigits", "UpDigits", "DownAvgDigits", "UpAvgDigits", "TrafficLCD"}) {
    EXPECT_EQ(Child<LcdDisplay>(*form, name)->LightOnColor(), yellow) << name;
  }
  for (const char* name : {"DownDigits2", "UpDigits2", "DownAvgDigits2", "UpAvgDigits2"}) {
    EXPECT_EQ(Child<LcdDisplay>(*form, name)->LightOnColor(), lime) << name;
  }
  // Full bars, drawn: each in its own colour.
  for (const auto& [name, colour] :
       {std::pair{"DownIndicator", lime}, std::pair{"AvgIndicator", blue},
        std::pair{"UpIndicator", lime}}) {
    auto* bar = Child<Indicator>(*form, name);
    bar->SetPosition(100);
    const QImage drawn = bar->grab().toImage();
    int lit = 0;
    for (int y = 0; y < drawn.height(); ++y) {
      for (int x = 0; x < drawn.width(); ++x) {
        lit += drawn.pixelColor(x, y) == colour ? 1 : 0;
      }
    }
    EXPECT_GT(lit, drawn.width() * drawn.height() / 4) << name;
    EXPECT_EQ(bar->Background(), QColor(Qt::black)) << name;
  }
}

TEST_F(MainWindowTest, ASetupDialogSwitchingTheProxyOffReachesTheClientAtOnce) {
  WriteSettings({{8, "proxy.lan"}, {9, "3128"}, {14, "1"}});
  auto form = Make();
  const HttpClient& client = Probe(*form).Session().Generator().HTTPCli();
  ASSERT_EQ(client.Proxy(), "proxy.lan");
  Probe(*form).Session().Settings().SetLine(14, "0");
  Probe(*form).Dialogs().ApplyProxyFromSettings();
  EXPECT_EQ(client.Proxy(), "");
  EXPECT_EQ(client.ProxyPort(), 0);
}

}  // namespace
}  // namespace velmar
