#include "alarm_window.h"

#include <QLabel>
#include <QPushButton>

#include "settings_list.h"

namespace velmar {

namespace {

struct Condition {
  const char* box;
  const char* caption;
  int onLine;
  const char* edit;
  int thresholdLine;
  const char* unit;
};

const Condition kConditions[] = {
    {"CheckBox1", "when the Average Downstream speed exceeds: ", 25, "Edit1", 15, "Kbit/s"},
    {"CheckBox2", "when the Average Upstream speed exceeds: ", 26, "Edit2", 16, "Kbit/s"},
    {"CheckBox3", "when the Average Downstream speed drops below: ", 27, "Edit3", 17, "Kbit/s"},
    {"CheckBox4", "when the Average Upstream speed drops below: ", 28, "Edit4", 18, "Kbit/s"},
    {"CheckBox5", "when the Actual Downstream speed exceeds: ", 29, "Edit5", 19, "Kbit/s"},
    {"CheckBox6", "when the Actual Upstream speed exceeds: ", 30, "Edit6", 20, "Kbit/s"},
    {"Checkbox7", "when the Actual Downstream speed drops below: ", 31, "edit7", 21, "Kbit/s"},
    {"Checkbox8", "when the Actual Upstream speed drops below: ", 32, "edit8", 22, "Kbit/s"},
    {"CheckBox9", "when Downstream inactive for :", 33, "Edit9", 23, "Minutes"},
    {"CheckBox10", "when Upstream inactive for :", 34, "Edit10", 24, "Minutes"},
};

}  // namespace

bool AlarmWindow::IsWholeNumber(const QString& text) {
  bool ok = false;
  text.toInt(&ok, 10);
  return ok && text.trimmed() == text;
}

AlarmWindow::AlarmWindow(SettingsList& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setObjectName(QStringLiteral("AlarmForm"));
  setWindowTitle(QStringLiteral("Velmar2000 Alarms"));
  setFixedSize(460, 420);

  auto* trigger = new QLabel(QStringLiteral("Trigger the following event :  "), this);
  trigger->setGeometry(12, 12, 190, 24);
  action_ = new QComboBox(this);
  action_->setObjectName(QStringLiteral("ComboBox1"));
  action_->addItems({QStringLiteral("System Beep"), QStringLiteral("Send E-mail"),
                     QStringLiteral("Execute program"), QStringLiteral("Request URL ")});
  action_->setGeometry(204, 12, 244, 24);
  event_ = new QLineEdit(this);
  event_->setObjectName(QStringLiteral("event"));
  event_->setGeometry(204, 42, 244, 24);

  const int action = settings_.LineNumber(36, -1);
  action_->setCurrentIndex(action >= 0 && action <= 3 ? action : -1);
  event_->setText(settings_.Line(35));
  connect(action_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) {
      settings_.SetLine(36, QString::number(index));
    }
  });
  connect(event_, &QLineEdit::textEdited, this,
          [this](const QString& text) { settings_.SetLine(35, text); });

  int y = 80;
  for (int i = 0; i < 10; ++i, y += 28) {
    const Condition& c = kConditions[i];
    auto* box = new QCheckBox(QString::fromLatin1(c.caption), this);
    box->setObjectName(QString::fromLatin1(c.box));
    box->setGeometry(12, y, 300, 24);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(c.edit));
    edit->setGeometry(316, y, 70, 24);
    auto* unit = new QLabel(QString::fromLatin1(c.unit), this);
    unit->setGeometry(392, y, 60, 24);
    boxes_[static_cast<size_t>(i)] = box;
    edits_[static_cast<size_t>(i)] = edit;

    box->setChecked(settings_.Line(c.onLine) == QLatin1String("1"));
    edit->setText(settings_.Line(c.thresholdLine));
    edit->setEnabled(box->isChecked());
    ShowValidity(i);
    connect(box, &QCheckBox::toggled, this, [this, i, onLine = c.onLine](bool on) {
      settings_.SetLine(onLine, on ? QStringLiteral("1") : QStringLiteral("0"));
      edits_[static_cast<size_t>(i)]->setEnabled(on);
    });
    connect(edit, &QLineEdit::textEdited, this,
            [this, i, line = c.thresholdLine](const QString& text) {
              settings_.SetLine(line, text);  // kept as typed, even when not a number
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
  QLineEdit* edit = edits_[static_cast<size_t>(i)];
  QPalette pal = edit->palette();
  pal.setColor(QPalette::Text,
               IsWholeNumber(edit->text()) ? palette().color(QPalette::Text) : QColor(Qt::red));
  edit->setPalette(pal);
}

void AlarmWindow::AllOnOff() {
  bool anyOff = false;
  for (QCheckBox* box : boxes_) {
    anyOff = anyOff || !box->isChecked();
  }
  for (QCheckBox* box : boxes_) {
    box->setChecked(anyOff);
  }
}

}  // namespace velmar
