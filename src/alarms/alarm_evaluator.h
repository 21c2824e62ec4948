#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "history/day_key_dates.h"
#include "measure/measurement_state.h"
#include "measure/result_publisher.h"

namespace velmar {

class KeyStore;
class SettingsList;

// What an alarm does (AlarmAction).
class AlarmActions {
 public:
  virtual ~AlarmActions() = default;
  virtual void Beep() = 0;
  // Whether Beep() makes a sound here. Where it cannot, a beep's alarm is
  // shown as a notification instead, one per stretch as notifications are.
  virtual bool CanBeep() const { return true; }
  // That notification: `body` says why it comes instead of a beep.
  virtual void NotifyInsteadOfBeep(const QString& body) { Notify(body); }
  // The alarm e-mail to the alarm target's recipient; raises MailUnavailableError when
  // there is no mail system.
  virtual void SendMail(const QString& recipient, const QString& message) = 0;
  // "Execute program" and "Request URL ": the shell's open of one text.
  virtual void Open(const QString& text) = 0;
  // "Desktop notification": the alarm message shown by the desktop.
  virtual void Notify(const QString& message) = 0;
};

// Who hears of the alarms an evaluation finds.
class AlarmListener {
 public:
  virtual ~AlarmListener() = default;
  // The code of the conditions found, before the action runs.
  virtual void AlarmFound(int32_t code) = 0;
  // The system's message when a notification could not be shown: once per
  // stretch, as the latch holds the next ones back. The alarm is logged
  // all the same, and beeps where a beep exists.
  virtual void AlarmActionFailed(const QString& failure) = 0;
  // The evaluator keeps no figures: the measurement's latch and idle times
  // are changed by the listener, at once, in the order the action runs.
  // A mail or notification goes out (or is tried): no further one until
  // the traffic stands still.
  virtual void ActionsLatched() = 0;
  // An action ran and was logged: the idle times count again from 0.
  virtual void ActionLogged() = 0;
};

// The ten alarm conditions, tested on every second publication.
class AlarmEvaluator : public PublicationAlarms {
 public:
  static constexpr int kMessageLimit = 255;
  static constexpr int kShellTextLimit = 259;
  static const QString kSubject;

  AlarmEvaluator(MeasurementState& state, SettingsList& settings, AlarmActions& actions,
                 KeyStore* store, DayKeyDates& dates)
      : state_(state),
        section_(state.ProgramSection),
        settings_(settings),
        actions_(actions),
        store_(store),
        dates_(dates) {}

  void SetStore(KeyStore* store) { store_ = store; }

  void EvaluateAlarms(float up, float down) override;
  // Null: no one listens, and the latch and the idle times stay as they are.
  void SetListener(AlarmListener* listener) { listener_ = listener; }

  // The conditions a logged alarm code stands for, in the order they are
  // tested: "Upstream average exceeded", ... Empty for a code that is no
  // sum of the conditions' codes.
  static QStringList Conditions(int32_t code);

  // The code and message of the last call that found a condition.
  int32_t LastCode() const { return lastCode_; }
  QString LastMessage() const { return lastMessage_; }

  // The opening of the body of a notification that stands in for a beep.
  static const QString kNoBeepReason;

  // Short names of the conditions ("receive_average_above", "transmit_idle",
  // ...): those a code is made of, and those the settings switch on; both
  // in the order the conditions are tested.
  static QStringList ConditionNames(int32_t code);
  static QStringList ConfiguredConditions(const SettingsList& settings);

 private:
  // The code of the conditions that hold, 0 for none, and their message.
  int32_t FindConditions(float up, float down, QString& message) const;
  // The chosen action; false when the latch held a mail or notification back.
  bool RunAction(const QString& message);
  // Runs `send` unless the latch holds it back; latched first, so a send
  // that fails is reported once a stretch, not at every evaluation.
  bool SendLatched(const std::function<void()>& send, bool beepOnFailure);
  void Log(int32_t code);
  void Latch();

  const MeasurementState& state_;
  SectionNumber& section_;
  SettingsList& settings_;
  AlarmActions& actions_;
  KeyStore* store_;
  DayKeyDates& dates_;
  AlarmListener* listener_ = nullptr;
  int32_t lastCode_ = 0;
  QString lastMessage_;
};

}  // namespace velmar
