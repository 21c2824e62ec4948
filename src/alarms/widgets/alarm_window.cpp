#include "alarms/widgets/alarm_window.h"

#include <QLabel>
#include <QPushButton>

#include "config/settings_list.h"

namespace velmar {

namespace {

// One row per condition, in the order of AlarmCondition.
struct Condition {
  const char* boxName;
  const char* caption;
  const char* editName;
  const char* unit;
};

const Condition kConditions[] = {
    {"averageDownAboveBox", "when the Average Downstream speed exceeds: ", "averageDownAboveEdit",
     "Kbit/s"},
    {"averageUpAboveBox", "when the Average Upstream speed exceeds: ", "averageUpAboveEdit",
     "Kbit/s"},
    {"averageDownBelowBox",
     "when the Average Downstream speed drops below: ", "averageDownBelowEdit", "Kbit/s"},
    {"averageUpBelowBox", "when the Average Upstream speed drops below: ", "averageUpBelowEdit",
     "Kbit/s"},
    {"actualDownAboveBox", "when the Actual Downstream speed exceeds: ", "actualDownAboveEdit",
     "Kbit/s"},
    {"actualUpAboveBox", "when the Actual Upstream speed exceeds: ", "actualUpAboveEdit", "Kbit/s"},
    {"actualDownBelowBox", "when the Actual Downstream speed drops below: ", "actualDownBelowEdit",
     "Kbit/s"},
    {"actualUpBelowBox", "when the Actual Upstream speed drops below: ", "actualUpBelowEdit",
     "Kbit/s"},
    {"downIdleBox", "when Downstream inactive for :", "downIdleEdit", "Minutes"},
    {"upIdleBox", "when Upstream inactive for :", "upIdleEdit", "Minutes"},
};

}  // namespace

bool AlarmWindow::IsWholeNumber(const QString& text) {
  bool ok = false;
  text.toInt(&ok, 10);
  return ok && text.trimmed() == text;
}

AlarmWindow::AlarmWindow(SettingsList& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setObjectName(QStringLiteral("alarmWindow"));
  setWindowTitle(QStringLiteral("Velmar 2000 Alarms"));
  setFixedSize(460, 420);

  auto* trigger = new QLabel(QStringLiteral("Trigger the following event :  "), this);
  trigger->setGeometry(12, 12, 190, 24);
  action_ = new QComboBox(this);
  action_->setObjectName(QStringLiteral("actionBox"));
  // In the order of AlarmAction: the index is line 36's value.
  action_->addItems({QStringLiteral("System Beep"), QStringLiteral("Send E-mail"),
                     QStringLiteral("Execute program"), QStringLiteral("Request URL "),
                     QStringLiteral("Desktop notification")});
  action_->setGeometry(204, 12, 244, 24);
  event_ = new QLineEdit(this);
  event_->setObjectName(QStringLiteral("eventEdit"));
  event_->setGeometry(204, 42, 244, 24);

  const int action = settings_.LineNumber(SettingsLine::kAlarmAction, -1);
  action_->setCurrentIndex(action >= 0 && action < action_->count() ? action : -1);
  event_->setText(settings_.Line(SettingsLine::kAlarmTarget));
  connect(action_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) {
      settings_.SetLine(SettingsLine::kAlarmAction, QString::number(index));
    }
  });
  connect(event_, &QLineEdit::textEdited, this,
          [this](const QString& text) { settings_.SetLine(SettingsLine::kAlarmTarget, text); });

  int y = 80;
  for (int i = 0; i < kAlarmConditionCount; ++i, y += 28) {
    const Condition& c = kConditions[i];
    const auto condition = static_cast<AlarmCondition>(i);
    auto* box = new QCheckBox(QString::fromLatin1(c.caption), this);
    box->setObjectName(QString::fromLatin1(c.boxName));
    box->setGeometry(12, y, 300, 24);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(c.editName));
    edit->setGeometry(316, y, 70, 24);
    auto* unit = new QLabel(QString::fromLatin1(c.unit), this);
    unit->setGeometry(392, y, 60, 24);
    conditionBoxes_[static_cast<size_t>(i)] = box;
    thresholdEdits_[static_cast<size_t>(i)] = edit;

    box->setChecked(settings_.Flag(AlarmSwitchLine(condition)));
    edit->setText(settings_.Line(AlarmLimitLine(condition)));
    edit->setEnabled(box->isChecked());
    ShowValidity(i);
    connect(box, &QCheckBox::toggled, this, [this, i, condition](bool on) {
      settings_.SetFlag(AlarmSwitchLine(condition), on);
      thresholdEdits_[static_cast<size_t>(i)]->setEnabled(on);
    });
    connect(edit, &QLineEdit::textEdited, this, [this, i, condition](const QString& text) {
      settings_.SetLine(AlarmLimitLine(condition), text);  // kept as typed, even when not a number
      ShowValidity(i);
    });
  }

  auto* all = new QPushButton(QStringLiteral("All On/Off"), this);
  all->setObjectName(QStringLiteral("AllOnOff"));
  all->setGeometry(12, 374, 120, 30);
  connect(all, &QPushButton::clicked, this, [this] { AllOnOff(); });
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("Close"));
  close->setGeometry(328, 374, 120, 30);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void AlarmWindow::ShowValidity(int i) {
  QLineEdit* edit = thresholdEdits_[static_cast<size_t>(i)];
  QPalette pal = edit->palette();
  pal.setColor(QPalette::Text,
               IsWholeNumber(edit->text()) ? palette().color(QPalette::Text) : QColor(Qt::red));
  edit->setPalette(pal);
}

void AlarmWindow::AllOnOff() {
  bool anyOff = false;
  for (QCheckBox* box : conditionBoxes_) {
    anyOff = anyOff || !box->isChecked();
  }
  for (QCheckBox* box : conditionBoxes_) {
    box->setChecked(anyOff);
  }
}

}  // namespace velmar
