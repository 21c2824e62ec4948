// The meter's window in a real Wayland session (weston, run_under_weston.py)
// with a private D-Bus session bus: whatever happens to the window, with a
// tray or without, it can be brought back; a tray that appears after the
// meter gets its icon; what Wayland does not allow is left out; the alarm
// notifications reach a notification server. What is on the screen is read
// from weston's own screenshots; the tray and the notification server are
// scripted services on the bus.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>
#include <functional>

#include "config/product.h"
#include "platform/key_store.h"
#include "platform/registry.h"
#include "shell/single_instance.h"
#include "shell/widgets/splash_screen.h"
#include "shell/widgets/window_system.h"
#include "support/main_window_probe.h"
#include "support/scripted_ui.h"
#include "support/test_window.h"

namespace velmar {
namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// A program run to its end while this one's event loop goes on (the
// window must answer it): its standard error.
QString RunToEnd(const QString& program, const QStringList& arguments,
                 const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, arguments);
  EXPECT_TRUE(WaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000))
      << program.toStdString();
  return QString::fromUtf8(p.readAllStandardError());
}

// How many pixels of weston's screen are not its plain background: the
// main window with its frame covers more than 100,000.
int Covered() {
  QTemporaryDir dir;
  QProcess shot;
  shot.setWorkingDirectory(dir.path());
  shot.start(QStringLiteral("weston-screenshooter"), {});
  WaitFor([&] { return shot.state() == QProcess::NotRunning; });
  const QStringList files = QDir(dir.path()).entryList({"*.png"}, QDir::Files);
  if (files.isEmpty()) {
    ADD_FAILURE() << "weston took no screenshot";
    return -1;
  }
  const QImage screen(dir.filePath(files.first()));
  const QRgb background = QColor(qEnvironmentVariable("VELMAR_WESTON_BACKGROUND")).rgb();
  int covered = 0;
  for (int y = 0; y < screen.height(); ++y) {
    for (int x = 0; x < screen.width(); ++x) {
      covered += (screen.pixel(x, y) | 0xff000000u) != background;
    }
  }
  return covered;
}

constexpr int kWindowPixels = 100000;

bool OnScreen() {
  return WaitFor([] { return Covered() > kWindowPixels; }, 5000);
}
bool OffScreen() {
  return WaitFor([] { return Covered() < 1000; }, 5000);
}

// A scripted desktop service (tests/support/desktop_services.py) on the
// session bus, and the calls it received.
class Service {
 public:
  explicit Service(const QString& kind) {
    process_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(VELMAR_TEST_SUPPORT "/desktop_services.py"), kind});
    EXPECT_TRUE(WaitFor([this] { return Read(), ready_; }))
        << "the scripted " << kind.toStdString();
  }
  ~Service() { Stop(); }
  void Stop() {
    process_.terminate();
    process_.waitForFinished(5000);
  }
  // The calls received so far, named `call`.
  QList<QJsonObject> Calls(const QString& call) {
    Read();
    QList<QJsonObject> out;
    for (const QJsonObject& c : calls_) {
      if (c.value("call").toString() == call) {
        out << c;
      }
    }
    return out;
  }

 private:
  void Read() {
    while (process_.canReadLine()) {
      const QJsonObject line = QJsonDocument::fromJson(process_.readLine()).object();
      ready_ = ready_ || line.contains("ready");
      if (line.contains("call")) {
        calls_ << line;
      }
    }
  }
  QProcess process_;
  bool ready_ = false;
  QList<QJsonObject> calls_;
};

// What a tray does with the meter's item: a left click, a menu entry.
void Tray(const QString& what, const QString& item, const QString& label = QString()) {
  QStringList args{QStringLiteral(VELMAR_TEST_SUPPORT "/desktop_services.py"), what, item};
  if (!label.isEmpty()) {
    args << label;
  }
  const QString errors = RunToEnd(QStringLiteral("/usr/bin/python3"), args);
  EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
}

class WaylandWindowTest : public ::testing::Test {
 protected:
  // One key store for the process, opened before any window opens it.
  static void SetUpTestSuite() {
    static QTemporaryDir storeDir;
    qputenv("VELMAR_REGISTRY", storeDir.filePath("registry.db").toUtf8());
    KeyStore::Default();
  }
  void SetUp() override {
    ASSERT_TRUE(OnWayland()) << "run_under_weston.py runs this";
    QObject::connect(
        &instance, &SingleInstance::activationRequested,
        [this](const QString& token, QString& answer) { answer = form->ComeForward(token); });
    ASSERT_FALSE(instance.Check());
  }
  void Start() {
    form = test::MakeWindow(dir);
    ASSERT_TRUE(WaitFor([] { return SplashScreen::Instance() == nullptr; }))
        << "the splash closes after 2 s";
    ASSERT_TRUE(OnScreen());
  }
  // The real program started a second time: what it said.
  QString SecondStart() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VELMAR_TEST_ANSWERS", "");
    env.insert("VELMAR_APP_DIR", dir.path());
    const QString said = RunToEnd(QStringLiteral(VELMAR_BIN_DIR "/velmar"), {}, env);
    return said.section("velmar-dialog: message: ", 1).trimmed();
  }
  // What the title bar's minimise button does: it reaches the QWindow.
  void MinimiseFromTheTitleBar() { form->windowHandle()->setWindowStates(Qt::WindowMinimized); }

  QTemporaryDir dir;
  test::ScriptedUi ui;
  SingleInstance instance{kApplicationTitle};
  std::unique_ptr<MainWindow> form;
};

TEST_F(WaylandWindowTest, WithoutATrayTheWindowStaysReachableAndClosingEnds) {
  // An X11 session kept the window's place; Wayland must leave it alone.
  Registry reg(KeyStore::Default());
  reg.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(reg.OpenKey(kProductKey, true));
  reg.WriteInteger("RCLeft", 150);
  reg.WriteInteger("RCTop", 120);
  Start();
  EXPECT_EQ(Probe(*form).Tray().Icon(), nullptr) << "no tray, no icon";
  EXPECT_FALSE(form->TrayShown());

  // Minimised, it stays in the task bar: gone from the screen, not hidden.
  MinimiseFromTheTitleBar();
  EXPECT_TRUE(OffScreen());
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(SecondStart(), "Velmar is already running; its window is brought to the front.");
  EXPECT_TRUE(OnScreen()) << "a second start brings it back";

  // Sizer -> Hide minimises it too, and it comes back the same way.
  emit form->findChild<MeterPanel*>()->hideWindow();
  EXPECT_TRUE(OffScreen());
  EXPECT_TRUE(form->isVisible());
  SecondStart();
  EXPECT_TRUE(OnScreen());

  // What Wayland does not allow is not offered.
  QAction* onTop = Probe(*form).Tray().Menu()->actions().at(2);
  EXPECT_FALSE(onTop->isEnabled());
  EXPECT_EQ(onTop->toolTip(), kNoStayOnTopTip);
  emit Probe(*form).Tray().stayOnTopToggled();
  EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(onTop->isChecked());

  // The close box ends the program as "&End" does, asking first.
  form->close();
  EXPECT_EQ(ui.questions, QStringList{"This will end the Velmar program.  Exit now?"});
  EXPECT_TRUE(OnScreen()) << "No keeps it";
  ui.answers = {UserInterface::Answer::Yes};
  form->close();
  EXPECT_TRUE(Probe(*form).CloseAllowed());
  EXPECT_TRUE(OffScreen());

  EXPECT_EQ(reg.ReadInteger("RCLeft"), 150) << "the X11 place survives";
  EXPECT_EQ(reg.ReadInteger("RCTop"), 120);
}

TEST_F(WaylandWindowTest, ALateTrayGetsTheIconAndEveryWayBackWorks) {
  Start();
  EXPECT_EQ(Probe(*form).Tray().Icon(), nullptr);
  Service watcher(QStringLiteral("watcher"));
  ASSERT_TRUE(WaitFor([&] { return !watcher.Calls("RegisterStatusNotifierItem").isEmpty(); }))
      << "the icon registers once the tray is there";
  const QString item =
      watcher.Calls("RegisterStatusNotifierItem").first().value("service").toString();
  EXPECT_TRUE(form->TrayShown());

  // Minimised from the title bar, it goes to the tray; a click on the icon
  // brings it back.
  MinimiseFromTheTitleBar();
  EXPECT_TRUE(WaitFor([&] { return !form->isVisible(); }));
  EXPECT_TRUE(OffScreen());
  Tray("activate", item);
  EXPECT_TRUE(OnScreen());

  // The tray menu's Hide and Show.
  Tray("click", item, "Hide");
  EXPECT_TRUE(OffScreen());
  Tray("click", item, "Show");
  EXPECT_TRUE(OnScreen());

  // The close box hides without a question; a second start says where to
  // look and brings the window back.
  form->close();
  EXPECT_TRUE(OffScreen());
  EXPECT_TRUE(ui.questions.isEmpty());
  EXPECT_EQ(SecondStart(), "Velmar is already running, please look for it in the system tray.");
  EXPECT_TRUE(OnScreen());

  // The tray goes away: hiding would now lose the window, so it minimises.
  watcher.Stop();
  EXPECT_TRUE(WaitFor([&] { return !form->TrayShown(); }));
  emit Probe(*form).Tray().hideChosen();
  EXPECT_TRUE(OffScreen());
  EXPECT_TRUE(form->isVisible());
  form->EndWithoutQuestion();
}

TEST_F(WaylandWindowTest, AlarmNotificationsAreLatchedAndReplaceTheirPredecessor) {
  Service server(QStringLiteral("notifications"));
  Start();
  SettingsList& settings = Probe(*form).Settings();
  settings.SetLine(AlarmSwitchLine(AlarmCondition::kReceiveAbove), "1");
  settings.SetLine(AlarmLimitLine(AlarmCondition::kReceiveAbove), "1");
  settings.SetLine(SettingsLine::kAlarmAction, "4");
  Probe(*form).Session().Core().StartMeasuring();
  const auto traffic = [&](int publications) {
    for (int i = 0; i < publications; ++i) {
      Probe(*form).Session().Core().PublishResults(0, 125000);  // 1000 kbit/s down
    }
  };
  const auto stillness = [&] {
    for (int i = 0; i <= 5000 / 500; ++i) {
      Probe(*form).Session().Core().PublishResults(0, 0);
    }
  };
  traffic(6);  // three evaluations
  ASSERT_TRUE(WaitFor([&] { return server.Calls("Notify").size() >= 1; }));
  WaitFor([] { return false; }, 400);
  QList<QJsonObject> shown = server.Calls("Notify");
  ASSERT_EQ(shown.size(), 1) << "one per stretch of traffic";
  EXPECT_EQ(shown[0].value("app_name").toString(), "Velmar 2000");
  EXPECT_EQ(shown[0].value("summary").toString(), AlarmEvaluator::kSubject);
  EXPECT_EQ(shown[0].value("body").toString(),
            "Actual Downstream exceeded 1 Kb/s (1 Kilobit = 1000 bits.)");
  EXPECT_FALSE(shown[0].value("app_icon").toString().isEmpty());
  EXPECT_EQ(shown[0].value("replaces_id").toInt(), 0);
  EXPECT_FALSE(shown[0].value("hints").toObject().contains("sound-name"));

  // The traffic stood still: the next stretch notifies again, replacing
  // the first bubble.
  stillness();
  traffic(2);
  ASSERT_TRUE(WaitFor([&] { return server.Calls("Notify").size() == 2; }));
  shown = server.Calls("Notify");
  EXPECT_EQ(shown[1].value("replaces_id").toInt(), shown[0].value("id").toInt());

  // Wayland has no beep: the Beep action is a notification with a sound,
  // saying why, one per stretch as well.
  settings.SetLine(SettingsLine::kAlarmAction, "0");
  stillness();
  traffic(6);
  ASSERT_TRUE(WaitFor([&] { return server.Calls("Notify").size() == 3; }));
  shown = server.Calls("Notify");
  EXPECT_EQ(shown[2].value("hints").toObject().value("sound-name").toString(), "bell");
  EXPECT_TRUE(shown[2].value("body").toString().startsWith(AlarmEvaluator::kNoBeepReason));
  EXPECT_EQ(ui.beeps, 0);
  stillness();
  traffic(2);
  // Each Notify is answered before the evaluation goes on: all are sent.
  ASSERT_TRUE(WaitFor([&] { return server.Calls("Notify").size() >= 4; }));
  EXPECT_EQ(server.Calls("Notify").size(), 4) << "the three evaluations before sent one";

  // No server: the status bar says so once a stretch, with no dialog to
  // stop the user at every evaluation.
  server.Stop();
  settings.SetLine(SettingsLine::kAlarmAction, "4");
  stillness();
  traffic(6);
  EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join("|").toStdString();
  EXPECT_TRUE(Probe(*form).StatusText().contains("Desktop notifications are not available"))
      << Probe(*form).StatusText().toStdString();
  form->EndWithoutQuestion();
}

}  // namespace
}  // namespace velmar
