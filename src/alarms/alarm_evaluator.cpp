#include "alarms/alarm_evaluator.h"

#include "config/program_section.h"

#include <QRegularExpression>

#include "config/settings_list.h"
#include "history/history_recorder.h"
#include "platform/exception.h"
#include "platform/registry.h"

namespace velmar {

const QString AlarmEvaluator::kSubject =
    QStringLiteral("Alarm Message from your Velmar-2000 program");
const QString AlarmEvaluator::kNoBeepReason =
    QStringLiteral("This desktop has no system beep, so the alarm is shown here instead: ");

namespace {

enum class Kind { kAverageAbove, kAverageBelow, kActualAbove, kActualBelow, kIdle };
enum class Direction { kUp, kDown };

struct Row {
  Kind kind;
  Direction direction;
  AlarmCondition condition;
  int fallback;
  int32_t code;
  const char* fragment;
  const char* name;
};

constexpr int kNever = 99999999;

// In the order they are tested and listed. The average upstream row takes
// the one free decimal place a signed 32-bit code still has.
const Row kRows[] = {
    {Kind::kAverageAbove, Direction::kUp, AlarmCondition::kTransmitAverageAbove, kNever, 1000000000,
     " & Upstream average exceeded ", "transmit_average_above"},
    {Kind::kAverageAbove, Direction::kDown, AlarmCondition::kReceiveAverageAbove, kNever, 1,
     " & Downstream average exceeded ", "receive_average_above"},
    {Kind::kAverageBelow, Direction::kUp, AlarmCondition::kTransmitAverageBelow, 0, 10,
     " & Upstream average dropped below ", "transmit_average_below"},
    {Kind::kAverageBelow, Direction::kDown, AlarmCondition::kReceiveAverageBelow, 0, 100,
     " & Downstream average dropped below ", "receive_average_below"},
    {Kind::kActualAbove, Direction::kUp, AlarmCondition::kTransmitAbove, kNever, 1000,
     " & Actual Upstream exceeded ", "transmit_above"},
    {Kind::kActualAbove, Direction::kDown, AlarmCondition::kReceiveAbove, kNever, 10000,
     " & Actual Downstream exceeded ", "receive_above"},
    {Kind::kActualBelow, Direction::kUp, AlarmCondition::kTransmitBelow, 0, 100000,
     " & Actual Upstream dropped below ", "transmit_below"},
    {Kind::kActualBelow, Direction::kDown, AlarmCondition::kReceiveBelow, 0, 1000000,
     " & Actual Downstream dropped below ", "receive_below"},
    {Kind::kIdle, Direction::kUp, AlarmCondition::kTransmitIdle, kNever, 10000000,
     " & Upstream idle for more than ", "transmit_idle"},
    {Kind::kIdle, Direction::kDown, AlarmCondition::kReceiveIdle, kNever, 100000000,
     " & Downstream idle for more than ", "receive_idle"},
};

// Appends what still fits in the 255 characters of an alarm message.
void Append(QString& message, const QString& text) {
  message += text.left(std::max<qsizetype>(0, AlarmEvaluator::kMessageLimit - message.size()));
}

// Whether one row's condition holds for these speeds and `threshold`.
bool Holds(const Row& row, int threshold, const MeasurementState& state, float up, float down) {
  const bool upward = row.direction == Direction::kUp;
  const int64_t idleMs = upward ? state.UpIdleMs : state.DownIdleMs;
  if (row.kind == Kind::kIdle) {
    return static_cast<int64_t>(threshold) * 60000 < idleMs;
  }
  const bool average = row.kind == Kind::kAverageAbove || row.kind == Kind::kAverageBelow;
  const float speed =
      average ? (upward ? state.UpAverage : state.DownAverage) : (upward ? up : down);
  const double kbps = Kbps(speed, state.KilobitMode);
  const bool above = row.kind == Kind::kAverageAbove || row.kind == Kind::kActualAbove;
  return idleMs == 0 && speed > 0 && (above ? kbps > threshold : kbps < threshold);
}

}  // namespace

QStringList AlarmEvaluator::Conditions(int32_t code) {
  QStringList out;
  int32_t left = code;
  for (const Row& row : kRows) {
    // Each condition owns one decimal place of the code.
    if ((code / row.code) % 10 == 1) {
      out << QString::fromLatin1(row.fragment).remove(QStringLiteral(" & ")).trimmed();
      left -= row.code;
    }
  }
  if (left != 0 || code <= 0) {
    return {};
  }
  return out;
}

void AlarmEvaluator::EvaluateAlarms(float up, float down) {
  SectionScope here(section_, section::kEvaluateAlarms);
  QString message;
  const int32_t code = FindConditions(up, down, message);
  if (code == 0) {
    return;
  }
  lastCode_ = code;
  lastMessage_ = message;
  if (listener_ != nullptr) {
    listener_->AlarmFound(code);
  }
  if (!RunAction(message)) {
    return;  // one mail or notification per stretch of traffic; not logged either
  }
  Log(code);
  if (listener_ != nullptr) {
    listener_->ActionLogged();
  }
}

int32_t AlarmEvaluator::FindConditions(float up, float down, QString& message) const {
  int32_t code = 0;
  bool idle = false;
  for (const Row& row : kRows) {
    if (!settings_.Flag(AlarmSwitchLine(row.condition))) {
      continue;
    }
    const int threshold = settings_.LineNumber(AlarmLimitLine(row.condition), row.fallback);
    if (!Holds(row, threshold, state_, up, down)) {
      continue;
    }
    code += row.code;
    Append(message, QString::fromLatin1(row.fragment));
    Append(message, settings_.Line(AlarmLimitLine(row.condition)));
    if (row.kind == Kind::kIdle) {
      idle = true;
      Append(message, QStringLiteral(" minutes"));
    } else {
      Append(message, QStringLiteral(" Kb/s"));
    }
  }
  if (code == 0) {
    return 0;
  }
  if (!idle) {
    Append(message,
           QStringLiteral(" (1 Kilobit = %1 bits.)").arg(BitsPerKilobit(state_.KilobitMode)));
  }
  for (const QChar c : {QLatin1Char(' '), QLatin1Char('&'), QLatin1Char(' ')}) {
    if (message.startsWith(c)) {
      message.remove(0, 1);
    }
  }
  return code;
}

bool AlarmEvaluator::RunAction(const QString& message) {
  const auto action =
      static_cast<AlarmAction>(settings_.LineNumber(SettingsLine::kAlarmAction, -1));
  switch (action) {
    case AlarmAction::kBeep:
      if (!actions_.CanBeep()) {
        return SendLatched([&] { actions_.NotifyInsteadOfBeep(kNoBeepReason + message); }, false);
      }
      actions_.Beep();
      break;
    case AlarmAction::kMail:
      if (state_.EmailLatch) {
        return false;
      }
      actions_.SendMail(settings_.Line(SettingsLine::kAlarmTarget), message);
      Latch();
      break;
    case AlarmAction::kNotify:
      return SendLatched([&] { actions_.Notify(message); }, true);
    case AlarmAction::kRunProgram:
    case AlarmAction::kOpenUrl: {
      static const QRegularExpression edges(
          QStringLiteral("^[\\s\\x00-\\x1f]+|[\\s\\x00-\\x1f]+$"));
      QString target = settings_.Line(SettingsLine::kAlarmTarget);
      target.remove(edges);
      actions_.Open((target + QLatin1Char('?') + message).left(kShellTextLimit));
      break;
    }
  }
  return true;
}

bool AlarmEvaluator::SendLatched(const std::function<void()>& send, bool beepOnFailure) {
  if (state_.EmailLatch) {
    return false;
  }
  Latch();
  try {
    send();
  } catch (const Exception& e) {
    if (beepOnFailure && actions_.CanBeep()) {
      actions_.Beep();
    }
    if (listener_ != nullptr) {
      listener_->AlarmActionFailed(e.Message());
    }
  }
  return true;
}

void AlarmEvaluator::Latch() {
  if (listener_ != nullptr) {
    listener_->ActionsLatched();
  }
}

QStringList AlarmEvaluator::ConditionNames(int32_t code) {
  QStringList names;
  for (const Row& row : kRows) {
    if ((code / row.code) % 10 != 0) {
      names << QString::fromLatin1(row.name);
    }
  }
  return names;
}

QStringList AlarmEvaluator::ConfiguredConditions(const SettingsList& settings) {
  QStringList names;
  for (const Row& row : kRows) {
    if (settings.Flag(AlarmSwitchLine(row.condition))) {
      names << QString::fromLatin1(row.name);
    }
  }
  return names;
}

void AlarmEvaluator::Log(int32_t code) {
  if (store_ == nullptr) {
    throw RegistryError("Failed to set data for 'Alarms'");
  }
  Registry reg(*store_);
  reg.SetRootKey(KeyRoot::kMachine);
  const QDate day = dates_.Now().date();
  reg.OpenKey(HistoryRecorder::AlarmsKey(dates_.Name(day)), true);
  const QString name = dates_.DateTimeText(dates_.Now());
  reg.WriteString(name, QString::number(code));
  reg.CloseKey();
}

}  // namespace velmar
