#include "alarms/alarm_evaluator.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "alarms/mail_sender.h"
#include "config/settings_list.h"
#include "history/history_recorder.h"
#include "platform/registry.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

class RecordingActions : public AlarmActions {
 public:
  void Beep() override { calls << "beep"; }
  void SendMail(const QString& r, const QString& m) override {
    if (mailUnavailable)
      throw MailUnavailableError();
    calls << "mail:" + r + "|" + m;
  }
  void Open(const QString& t) override { calls << "open:" + t; }
  void Notify(const QString& m) override {
    if (noNotifications)
      throw Exception("Desktop notifications are not available: no server");
    calls << "notify:" + m;
  }
  bool CanBeep() const override { return bell; }
  QStringList calls;
  bool mailUnavailable = false;
  bool noNotifications = false;
  bool bell = true;
};

// Hears the alarms and, as the core does, keeps the latch and idle times.
class HeardAlarms : public AlarmListener {
 public:
  explicit HeardAlarms(MeasurementState& state) : state_(state) {}
  void AlarmFound(int32_t code) override { codes.push_back(code); }
  void AlarmActionFailed(const QString& failure) override { failures << failure; }
  void ActionsLatched() override { state_.EmailLatch = true; }
  void ActionLogged() override {
    state_.UpIdleMs = 0;
    state_.DownIdleMs = 0;
  }
  MeasurementState& state_;
  std::vector<int32_t> codes;
  QStringList failures;
};

class AlarmEvaluatorTest : public ::testing::Test {
 protected:
  AlarmEvaluatorTest() : evaluator(state, settings, actions, store.store.get(), dates) {
    settings.SetLines(SettingsList::DefaultLines());
    state.AnalysisActive = true;
    dates.Format = [] { return QString("yyyy-MM-dd"); };
    dates.Now = [this] { return clock.at(std::min(reads++, clock.size() - 1)); };
    At(QDateTime(QDate(2026, 12, 8), QTime(14, 0, 0)));
    evaluator.SetListener(&heard);
  }
  void At(QDateTime first, QDateTime second = {}) {
    clock = {first, second.isValid() ? second : first};
    reads = 0;
  }
  void On(int row, const QString& threshold) {
    static const int onLines[] = {0, 26, 25, 28, 27, 30, 29, 32, 31, 34, 33};
    static const int thresholdLines[] = {0, 16, 15, 18, 17, 20, 19, 22, 21, 24, 23};
    settings.SetLine(onLines[row], "1");
    settings.SetLine(thresholdLines[row], threshold);
  }
  QStringList Log(const QString& day) {
    Registry reg(*store.store);
    reg.SetRootKey(KeyRoot::kMachine);
    QStringList out;
    if (reg.OpenKey(HistoryRecorder::kHistoryKey + "\\" + day + "\\Alarms", false)) {
      for (const QString& v : reg.GetValueNames())
        out << v + "=" + reg.ReadString(v);
    }
    return out;
  }

  test::TempStore store;
  MeasurementState state;
  SettingsList settings;
  RecordingActions actions;
  DayKeyDates dates;
  std::vector<QDateTime> clock;
  size_t reads = 0;
  AlarmEvaluator evaluator;
  HeardAlarms heard{state};
};

TEST_F(AlarmEvaluatorTest, TheWorkedExamples) {
  On(2, "500");
  state.DownAverage = 75000;  // 600 kbit/s
  evaluator.EvaluateAlarms(0, 1000);
  EXPECT_EQ(evaluator.LastCode(), 1);
  EXPECT_EQ(evaluator.LastMessage(),
            "Downstream average exceeded 500 Kb/s (1 Kilobit = 1000 bits.)");
  EXPECT_EQ(actions.calls, QStringList{"beep"});
  EXPECT_EQ(Log("2026-12-08"),
            QStringList{"2026-12-08 " +
                        QTime(14, 0).toString(QLocale::system()
                                                  .timeFormat(QLocale::LongFormat)
                                                  .remove(QRegularExpression("\\s*t+"))) +
                        "=1"});
  EXPECT_EQ(state.ProgramSection, 22);

  settings.SetLines(SettingsList::DefaultLines());
  On(9, "5");
  state.UpIdleMs = 300000;
  evaluator.EvaluateAlarms(0, 0);
  EXPECT_EQ(actions.calls.size(), 1) << "exactly 5 minutes is not more than 5";
  state.UpIdleMs = 300500;
  evaluator.EvaluateAlarms(0, 0);
  EXPECT_EQ(evaluator.LastCode(), 10000000);
  EXPECT_EQ(evaluator.LastMessage(), "Upstream idle for more than 5 minutes");
  EXPECT_EQ(state.UpIdleMs, 0) << "reset after a logged event";
}

TEST_F(AlarmEvaluatorTest, IdleSuppressesItsDirectionAndZeroNeverDropsBelow) {
  On(6, "10");  // actual downstream exceeds 10 kbit/s
  On(8, "10");  // actual downstream drops below 10 kbit/s
  state.DownIdleMs = 500;
  evaluator.EvaluateAlarms(0, 5000);  // 40 kbit/s, but the direction stood still
  EXPECT_TRUE(actions.calls.isEmpty());
  state.DownIdleMs = 0;
  evaluator.EvaluateAlarms(0, 0);  // 0 never "drops below"
  EXPECT_TRUE(actions.calls.isEmpty());
  evaluator.EvaluateAlarms(0, 1250);  // exactly 10 kbit/s: neither
  EXPECT_TRUE(actions.calls.isEmpty());
  evaluator.EvaluateAlarms(0, 1000);  // 8 kbit/s
  EXPECT_EQ(evaluator.LastCode(), 1000000);
  EXPECT_EQ(evaluator.LastMessage(),
            "Actual Downstream dropped below 10 Kb/s (1 Kilobit = 1000 bits.)");
  // Thresholds that are not whole numbers switch their row off in effect.
  settings.SetLines(SettingsList::DefaultLines());
  On(6, "ten");
  On(8, "");
  evaluator.EvaluateAlarms(0, 1e9f);
  evaluator.EvaluateAlarms(0, 1);
  EXPECT_EQ(actions.calls.size(), 1);
  // A huge idle threshold never fires and never overflows.
  On(10, "99999999");
  state.DownIdleMs = 2147483647;
  evaluator.EvaluateAlarms(0, 0);
  EXPECT_EQ(actions.calls.size(), 1);
  On(10, "35791");  // 35791 * 60000 > 2^31
  evaluator.EvaluateAlarms(0, 0);
  // 40000 minutes (27.8 days) of quiet: beyond 32 bits of milliseconds.
  On(10, "40000");
  state.DownIdleMs = 40000ll * 60000 + 500;
  evaluator.EvaluateAlarms(0, 0);
  EXPECT_EQ(evaluator.LastMessage(), "Downstream idle for more than 40000 minutes");
  EXPECT_EQ(evaluator.LastCode(), 100000000);
}

TEST_F(AlarmEvaluatorTest, SeveralConditionsInTableOrderWithOneNote) {
  settings.SetLine(1, "1");  // 1024-bit kilobits
  for (int row = 1; row <= 8; ++row)
    On(row, row <= 2 || row == 5 || row == 6 ? "1" : "100000");
  state.UpAverage = 1000;
  state.DownAverage = 1000;
  evaluator.EvaluateAlarms(1000, 1000);
  EXPECT_EQ(evaluator.LastCode(), 1000000000 + 1 + 10 + 100 + 1000 + 10000 + 100000 + 1000000);
  // Built to 255 characters with its leading " & ", which then goes.
  EXPECT_EQ(evaluator.LastMessage(),
            QString(" & Upstream average exceeded 1 Kb/s & Downstream average exceeded 1 Kb/s & "
                    "Upstream average dropped below 100000 Kb/s & Downstream average dropped "
                    "below 100000 Kb/s & Actual Upstream exceeded 1 Kb/s & Actual Downstream "
                    "exceeded 1 Kb/s & Actual Upstream dropped below 100000 Kb/s & Actual "
                    "Downstream dropped below 100000 Kb/s (1 Kilobit = 1024 bits.)")
                .left(255)
                .mid(3));

  // An idle row drops the note.
  settings.SetLines(SettingsList::DefaultLines());
  On(2, "1");
  On(10, "0");
  state.DownIdleMs = 500;
  state.UpIdleMs = 0;
  state.DownAverage = 1000;
  evaluator.EvaluateAlarms(0, 0);
  EXPECT_EQ(evaluator.LastMessage(), "Downstream idle for more than 0 minutes");
  // The threshold text is quoted as written.
  settings.SetLines(SettingsList::DefaultLines());
  On(2, "0500");
  state.DownIdleMs = 0;
  state.DownAverage = 75000;
  evaluator.EvaluateAlarms(0, 0);
  EXPECT_TRUE(evaluator.LastMessage().startsWith("Downstream average exceeded 0500 Kb/s"));
}

TEST_F(AlarmEvaluatorTest, ConditionNamesAndTheAlarmHook) {
  EXPECT_TRUE(AlarmEvaluator::ConfiguredConditions(settings).isEmpty());
  On(9, "5");
  On(2, "1");
  On(1, "1");
  settings.SetLine(36, "1");  // mail: one per stretch of traffic
  EXPECT_EQ(AlarmEvaluator::ConfiguredConditions(settings),
            QStringList({"transmit_average_above", "receive_average_above", "transmit_idle"}));
  EXPECT_EQ(AlarmEvaluator::ConditionNames(1000000000 + 1 + 100000000),
            QStringList({"transmit_average_above", "receive_average_above", "receive_idle"}));
  EXPECT_EQ(AlarmEvaluator::ConditionNames(10 + 100 + 1000 + 10000 + 100000 + 1000000 + 10000000),
            QStringList({"transmit_average_below", "receive_average_below", "transmit_above",
                         "receive_above", "transmit_below", "receive_below", "transmit_idle"}));
  EXPECT_TRUE(AlarmEvaluator::ConditionNames(0).isEmpty());

  evaluator.SetListener(&heard);
  state.DownAverage = 1000;
  evaluator.EvaluateAlarms(0, 0);
  state.UpAverage = 1000;
  evaluator.EvaluateAlarms(0, 0);  // the mail is latched, but the conditions held
  EXPECT_EQ(heard.codes, (std::vector<int32_t>{1, 1000000001}));
  EXPECT_EQ(actions.calls.size(), 1);
}

TEST_F(AlarmEvaluatorTest, ActionsLatchAndTheLog) {
  On(6, "1");
  // Not a number: logged without any action.
  settings.SetLine(36, "mail");
  evaluator.EvaluateAlarms(0, 1000);
  EXPECT_TRUE(actions.calls.isEmpty());
  EXPECT_EQ(Log("2026-12-08").size(), 1);

  // E-mail: once per stretch of traffic; latched events are not logged.
  settings.SetLine(36, "1");
  settings.SetLine(35, "ops@example.test");
  At(QDateTime(QDate(2026, 12, 8), QTime(14, 0, 1)));
  evaluator.EvaluateAlarms(0, 1000);
  At(QDateTime(QDate(2026, 12, 8), QTime(14, 0, 2)));
  evaluator.EvaluateAlarms(0, 1000);
  EXPECT_EQ(
      actions.calls,
      QStringList{
          "mail:ops@example.test|Actual Downstream exceeded 1 Kb/s (1 Kilobit = 1000 bits.)"});
  EXPECT_TRUE(state.EmailLatch);
  EXPECT_EQ(Log("2026-12-08").size(), 2);
  state.EmailLatch = false;  // the traffic stood still for 5 seconds

  // No mail system: the error goes up, no latch, no log, idle times stay.
  actions.mailUnavailable = true;
  // (An idle upstream does not hold back a downstream row; a logged event
  // would reset it.)
  state.UpIdleMs = 1500;
  At(QDateTime(QDate(2026, 12, 8), QTime(14, 0, 3)));
  EXPECT_THROW(evaluator.EvaluateAlarms(0, 1000), MailUnavailableError);
  EXPECT_FALSE(state.EmailLatch);
  EXPECT_EQ(Log("2026-12-08").size(), 2);
  EXPECT_EQ(state.UpIdleMs, 1500);
  state.UpIdleMs = 0;

  // A notification shares the mail's latch: one per stretch of traffic.
  settings.SetLine(36, "4");
  actions.calls.clear();
  for (int second = 4; second <= 6; ++second) {
    At(QDateTime(QDate(2026, 12, 8), QTime(14, 0, second)));
    evaluator.EvaluateAlarms(0, 1000);
  }
  EXPECT_EQ(actions.calls,
            QStringList{"notify:Actual Downstream exceeded 1 Kb/s (1 Kilobit = 1000 bits.)"});
  EXPECT_TRUE(state.EmailLatch);
  EXPECT_EQ(Log("2026-12-08").size(), 3) << "latched events are not logged";
  state.EmailLatch = false;

  // Program and URL: one text, trimmed target, "?", the message unencoded.
  settings.SetLine(36, "2");
  settings.SetLine(35, " \t/opt/alarm.sh \r\n");
  evaluator.EvaluateAlarms(0, 1000);
  EXPECT_EQ(actions.calls.last(),
            "open:/opt/alarm.sh?Actual Downstream exceeded 1 Kb/s (1 Kilobit = 1000 bits.)");
  settings.SetLine(36, "3");
  settings.SetLine(35, QString(300, 'u'));
  evaluator.EvaluateAlarms(0, 1000);
  EXPECT_EQ(actions.calls.last().size(), 5 + 259) << "the shell text holds 259 characters";

  // Two events in one second: one value, the later code.
  At(QDateTime(QDate(2026, 12, 9), QTime(8, 0, 0)));
  settings.SetLine(36, "0");
  evaluator.EvaluateAlarms(0, 1000);
  On(5, "1");
  At(QDateTime(QDate(2026, 12, 9), QTime(8, 0, 0)));
  evaluator.EvaluateAlarms(1000, 1000);
  ASSERT_EQ(Log("2026-12-09").size(), 1);
  EXPECT_TRUE(Log("2026-12-09")[0].endsWith("=11000"));

  // Midnight: the key from the first reading, the name from the second.
  At(QDateTime(QDate(2026, 12, 9), QTime(23, 59, 59, 900)),
     QDateTime(QDate(2026, 12, 10), QTime(0, 0)));
  evaluator.EvaluateAlarms(1000, 1000);
  EXPECT_TRUE(Log("2026-12-09").contains("2026-12-10=11000"))
      << Log("2026-12-09").join(",").toStdString();

  // A read-only store: the log write fails, the idle times stay.
  KeyStore readOnly(store.store->Path(), KeyStore::Access::ReadOnly);
  AlarmEvaluator blocked(state, settings, actions, &readOnly, dates);
  blocked.SetListener(&heard);
  state.UpIdleMs = 1500;
  state.DownIdleMs = 0;
  EXPECT_THROW(blocked.EvaluateAlarms(0, 1000), RegistryError);
  EXPECT_EQ(state.UpIdleMs, 1500);
}

// Without a notification service, or without a beep, an alarm stretch acts
// and reports once: at every evaluation it stopped the user with a dialog.
TEST_F(AlarmEvaluatorTest, NotificationsThatCannotBeShownAreToldOnceAStretch) {
  On(6, "1");
  QStringList& failures = heard.failures;
  evaluator.SetListener(&heard);
  const auto stretch = [&](int firstSecond) {
    for (int second = firstSecond; second < firstSecond + 3; ++second) {
      At(QDateTime(QDate(2026, 12, 8), QTime(15, 0, second)));
      EXPECT_NO_THROW(evaluator.EvaluateAlarms(0, 1000));
    }
  };
  settings.SetLine(36, "4");
  actions.noNotifications = true;
  stretch(0);
  EXPECT_EQ(failures, QStringList{"Desktop notifications are not available: no server"});
  EXPECT_EQ(actions.calls, QStringList{"beep"}) << "a beep where a bubble cannot show";
  EXPECT_EQ(Log("2026-12-08").size(), 1) << "the alarm is logged once, as it went off";

  // No bell either: still told once, nothing else to do.
  state.EmailLatch = false;
  actions.bell = false;
  actions.calls.clear();
  stretch(10);
  EXPECT_EQ(failures.size(), 2);
  EXPECT_TRUE(actions.calls.isEmpty());

  // A beep without a bell: one notification a stretch, saying why.
  state.EmailLatch = false;
  actions.noNotifications = false;
  settings.SetLine(36, "0");
  stretch(20);
  EXPECT_EQ(actions.calls,
            QStringList{"notify:" + AlarmEvaluator::kNoBeepReason +
                        "Actual Downstream exceeded 1 Kb/s (1 Kilobit = 1000 bits.)"});
  state.EmailLatch = false;  // the traffic stood still
  stretch(30);
  EXPECT_EQ(actions.calls.size(), 2);
  EXPECT_EQ(failures.size(), 2);
}

}  // namespace
}  // namespace velmar
