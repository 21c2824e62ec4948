#include "alarms/widgets/alarm_window.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "config/settings_list.h"
#include "platform/paint/contrast.h"
#include "platform/widgets/fit_to_font.h"

namespace velmar {

namespace {

// One row per condition, in the order of AlarmCondition. Each caption has
// its own mnemonic letter.
struct Condition {
  const char* boxName;
  const char* caption;
  const char* editName;
  const char* unit;
};

const Condition kConditions[] = {
    {"averageDownAboveBox", "when the &Average Downstream speed exceeds: ", "averageDownAboveEdit",
     "Kbit/s"},
    {"averageUpAboveBox", "when the Average &Upstream speed exceeds: ", "averageUpAboveEdit",
     "Kbit/s"},
    {"averageDownBelowBox",
     "when the Average Downstream speed drops &below: ", "averageDownBelowEdit", "Kbit/s"},
    {"averageUpBelowBox", "when the Average Upstream speed drops be&low: ", "averageUpBelowEdit",
     "Kbit/s"},
    {"actualDownAboveBox", "when the A&ctual Downstream speed exceeds: ", "actualDownAboveEdit",
     "Kbit/s"},
    {"actualUpAboveBox", "when the Ac&tual Upstream speed exceeds: ", "actualUpAboveEdit",
     "Kbit/s"},
    {"actualDownBelowBox", "when the Actual Downstream speed &drops below: ", "actualDownBelowEdit",
     "Kbit/s"},
    {"actualUpBelowBox", "when the Actual Upstream speed d&rops below: ", "actualUpBelowEdit",
     "Kbit/s"},
    {"downIdleBox", "when Downstream &inactive for :", "downIdleEdit", "Minutes"},
    {"upIdleBox", "when Upstream inacti&ve for :", "upIdleEdit", "Minutes"},
};

// A caption without its mnemonic marks and trailing colon, for the name a
// screen reader gives the row's field.
QString PlainCaption(const char* caption) {
  QString text = QString::fromLatin1(caption).remove(QLatin1Char('&')).trimmed();
  if (text.endsWith(QLatin1Char(':'))) {
    text.chop(1);
  }
  return text.trimmed();
}

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
  setFixedSize(524, 420);
  BuildActionRows();
  for (int i = 0; i < kAlarmConditionCount; ++i) {
    BuildConditionRow(i, 80 + 28 * i);
  }
  BuildButtons();
  // Built in design pixels; a larger font makes it all larger.
  FitToFont(*this);
  FitActionCaptions();
}

void AlarmWindow::FitActionCaptions() {
  // The captions' column as wide as its longest caption in this font, not
  // a guess: a font's widths do not grow with its height alone.
  int needed = trigger_->sizeHint().width();
  for (int action = 0; action < action_->count(); ++action) {
    needed = std::max(
        needed,
        eventLabel_->fontMetrics().size(Qt::TextShowMnemonic, EventCaption(action)).width());
  }
  const int left = trigger_->x();
  const int gap = action_->x() - trigger_->geometry().right();
  const int fieldX = std::max(action_->x(), left + needed + gap);
  const int right = action_->geometry().right();
  for (QLabel* label : {trigger_, eventLabel_}) {
    label->resize(fieldX - gap - left, label->height());
  }
  for (QWidget* field : {static_cast<QWidget*>(action_), static_cast<QWidget*>(event_)}) {
    field->setGeometry(fieldX, field->y(), right - fieldX + 1, field->height());
  }
}

void AlarmWindow::BuildActionRows() {
  trigger_ = new QLabel(QStringLiteral("Trigger the following &event :  "), this);
  auto* trigger = trigger_;
  trigger->setGeometry(12, 12, 190, 24);
  action_ = new QComboBox(this);
  action_->setObjectName(QStringLiteral("actionBox"));
  // In the order of AlarmAction: the index is line 36's value.
  action_->addItems({QStringLiteral("System Beep"), QStringLiteral("Send E-mail"),
                     QStringLiteral("Execute program"), QStringLiteral("Request URL "),
                     QStringLiteral("Desktop notification")});
  action_->setGeometry(204, 12, 308, 24);
  trigger->setBuddy(action_);
  // What the field below means depends on the action; a beep takes none.
  eventLabel_ = new QLabel(this);
  eventLabel_->setObjectName(QStringLiteral("eventLabel"));
  eventLabel_->setGeometry(12, 42, 190, 24);
  event_ = new QLineEdit(this);
  event_->setObjectName(QStringLiteral("eventEdit"));
  event_->setGeometry(204, 42, 308, 24);
  eventLabel_->setBuddy(event_);

  const int action = settings_.LineNumber(SettingsLine::kAlarmAction, -1);
  action_->setCurrentIndex(action >= 0 && action < action_->count() ? action : -1);
  event_->setText(settings_.Line(SettingsLine::kAlarmTarget));
  ShowEventField(action_->currentIndex());
  connect(action_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) {
      settings_.SetLine(SettingsLine::kAlarmAction, QString::number(index));
    }
    ShowEventField(index);
  });
  connect(event_, &QLineEdit::textEdited, this,
          [this](const QString& text) { settings_.SetLine(SettingsLine::kAlarmTarget, text); });
}

void AlarmWindow::BuildConditionRow(int i, int y) {
  const Condition& c = kConditions[i];
  const auto condition = static_cast<AlarmCondition>(i);
  auto* box = new QCheckBox(QString::fromLatin1(c.caption), this);
  box->setObjectName(QString::fromLatin1(c.boxName));
  box->setGeometry(12, y, 356, 24);
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::fromLatin1(c.editName));
  edit->setGeometry(372, y, 70, 24);
  edit->setAccessibleName(PlainCaption(c.caption) + QStringLiteral(" (%1)").arg(c.unit));
  auto* unit = new QLabel(QString::fromLatin1(c.unit), this);
  unit->setGeometry(448, y, 64, 24);
  conditionBoxes_[static_cast<size_t>(i)] = box;
  thresholdEdits_[static_cast<size_t>(i)] = edit;

  box->setChecked(settings_.Flag(AlarmSwitchLine(condition)));
  edit->setText(settings_.Line(AlarmLimitLine(condition)));
  // The field and its unit look as usable as they are.
  edit->setEnabled(box->isChecked());
  unit->setEnabled(box->isChecked());
  ShowValidity(i);
  connect(box, &QCheckBox::toggled, this, [this, i, condition, unit](bool on) {
    settings_.SetFlag(AlarmSwitchLine(condition), on);
    thresholdEdits_[static_cast<size_t>(i)]->setEnabled(on);
    unit->setEnabled(on);
  });
  connect(edit, &QLineEdit::textEdited, this, [this, i, condition](const QString& text) {
    settings_.SetLine(AlarmLimitLine(condition), text);  // kept as typed, even when not a number
    ShowValidity(i);
  });
}

void AlarmWindow::BuildButtons() {
  auto* all = new QPushButton(QStringLiteral("All &On/Off"), this);
  all->setObjectName(QStringLiteral("AllOnOff"));
  all->setGeometry(12, 374, 120, 30);
  connect(all, &QPushButton::clicked, this, [this] { AllOnOff(); });
  auto* close = new QPushButton(QStringLiteral("Clo&se"), this);
  close->setObjectName(QStringLiteral("Close"));
  close->setGeometry(392, 374, 120, 30);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

QString AlarmWindow::EventCaption(int action) {
  switch (static_cast<AlarmAction>(action)) {
    case AlarmAction::kBeep:
      return QStringLiteral("&Nothing to give for a beep");
    case AlarmAction::kMail:
      return QStringLiteral("E-&mail address:");
    case AlarmAction::kRunProgram:
      return QStringLiteral("&Program to run:");
    case AlarmAction::kOpenUrl:
      return QStringLiteral("&Web address (URL):");
    case AlarmAction::kNotify:
      return QStringLiteral("&Nothing to give for a notification");
  }
  return QStringLiteral("&Parameter:");
}

void AlarmWindow::ShowEventField(int action) {
  eventLabel_->setText(EventCaption(action));
  const auto chosen = static_cast<AlarmAction>(action);
  const bool used = chosen != AlarmAction::kBeep && chosen != AlarmAction::kNotify;
  eventLabel_->setEnabled(used);
  event_->setEnabled(used);
}

QColor AlarmWindow::InvalidColour(const QPalette& palette) {
  // Red, deepened (or lightened) until it reads on the field's background.
  return Readable(QColor(Qt::red), palette.color(QPalette::Base));
}

void AlarmWindow::ShowValidity(int i) {
  QLineEdit* edit = thresholdEdits_[static_cast<size_t>(i)];
  QPalette pal = edit->palette();
  const QColor text =
      IsWholeNumber(edit->text()) ? palette().color(QPalette::Text) : InvalidColour(palette());
  // The disabled colours stay the theme's, so a field that is off looks off.
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(group, QPalette::Text, text);
  }
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
