#include "detailed_setup.h"

#include "setup_dialogs.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSignalBlocker>
#include <exception>
#include <stdexcept>

#include "meter_art.h"
#include "settings_list.h"
#include "settings_loader.h"
#include "setup_host.h"
#include "setup_wizard.h"
#include "user_interface.h"

namespace velmar {

// ---- RadioGroup ----

RadioGroup::RadioGroup(const char* name, const QString& title, const QStringList& items,
                       int columns, QWidget* parent)
    : QGroupBox(title, parent) {
  setObjectName(QString::fromLatin1(name));
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(8, 4, 8, 4);
  grid->setHorizontalSpacing(6);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    button->setObjectName(objectName() + QString::number(i));
    group_.addButton(button, i);
    grid->addWidget(button, i / columns, i % columns);
    buttons_ << button;
  }
  if (!buttons_.isEmpty()) {
    buttons_.front()->setChecked(true);
  }
}

void RadioGroup::SetItemIndex(int index) {
  if (index < 0 || index >= buttons_.size()) {
    throw std::out_of_range("List index out of bounds");
  }
  buttons_[index]->setChecked(true);
}

// ---- DetailedSetup ----

namespace {

const QString kOne = QStringLiteral("1");
const QString kZero = QStringLiteral("0");

}  // namespace

const QString DetailedSetup::kCaption = QStringLiteral("Velmar Detailed Setup");

QLabel* DetailedSetup::Caption(const QString& text, QRect geometry) {
  auto* label = new QLabel(text, this);
  label->setGeometry(geometry);
  return label;
}

QCheckBox* DetailedSetup::Check(const char* name, const QString& text, QRect geometry) {
  auto* box = new QCheckBox(text, this);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(geometry);
  return box;
}

DetailedSetup::DetailedSetup(SetupHost& host, QWidget* parent)
    : SingleSetupDialog(host, parent, QStringLiteral("SetupForm"), kCaption, kSize) {
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("Picture"));
  picture->setGeometry(16, 14, 100, 112);
  picture->setPixmap(QPixmap::fromImage(MeterArt::SetupPicture(picture->size())));

  Caption(QStringLiteral("Network interface to monitor:"), QRect(132, 14, 408, 18));
  Interfacebox = new QComboBox(this);
  Interfacebox->setObjectName(QStringLiteral("Interfacebox"));
  Interfacebox->setGeometry(132, 34, 408, 26);
  Interfacebox->addItem(QStringLiteral("All"));
  // Only the user's choice is a change; filling the box is not.
  connect(Interfacebox, &QComboBox::activated, this, [this] { InterfaceboxChange(); });

  Caption(QStringLiteral("URL (http or ftp) for 'Generate' Mode:"), QRect(132, 72, 408, 18));
  URLbox = new QLineEdit(this);
  URLbox->setObjectName(QStringLiteral("URLbox"));
  URLbox->setGeometry(132, 92, 408, 24);

  KBmodepanel = new RadioGroup("KBmodepanel", QStringLiteral("1 KiloBit is "),
                               {QStringLiteral("1000 bits"), QStringLiteral("1024 bits")}, 2, this);
  KBmodepanel->setGeometry(16, 136, 220, 56);
  AvgModepanel = new RadioGroup(
      "AvgModepanel", QStringLiteral("Averaging algorithm "),
      {QStringLiteral("3 Pole"), QStringLiteral("Mid range"), QStringLiteral("Full range")}, 3,
      this);
  AvgModepanel->setGeometry(248, 136, 292, 56);

  UseProxyBox =
      Check("UseProxyBox", QStringLiteral("Connect through proxy server"), QRect(16, 204, 300, 22));
  // Checking it from code counts as a click, as it always has.
  connect(UseProxyBox, &QCheckBox::toggled, this, [this] { UseProxyBoxClick(); });
  HostLabel = Caption(QStringLiteral("Proxy server address or hostname:"), QRect(36, 230, 400, 18));
  HostLabel->setObjectName(QStringLiteral("HostLabel"));
  HostBox = new QLineEdit(this);
  HostBox->setObjectName(QStringLiteral("HostBox"));
  HostBox->setGeometry(36, 250, 400, 24);
  connect(HostBox, &QLineEdit::textChanged, this, [this] { HostBoxChange(); });
  PortLabel = Caption(QStringLiteral("Port:"), QRect(452, 230, 60, 18));
  PortLabel->setObjectName(QStringLiteral("PortLabel"));
  proxyport = new QLineEdit(this);
  proxyport->setObjectName(QStringLiteral("proxyport"));
  // Four characters wide, yet a five-digit port still shows whole.
  proxyport->setGeometry(452, 250, 60, 24);
  connect(proxyport, &QLineEdit::textChanged, this, [this] { proxyportChange(); });

  WinStartupBox =
      Check("WinStartupBox", QStringLiteral("Auto-run Velmar at Windows session startup"),
            QRect(16, 290, 400, 22));
  AnalyseStartupbox = Check("AnalyseStartupbox", QStringLiteral("Start Velmar in 'Active' mode"),
                            QRect(16, 314, 400, 22));
  StayOnTopBox = Check("StayOnTopBox", QStringLiteral("Keep Velmar main-window on top"),
                       QRect(16, 338, 400, 22));

  Button1 = new QPushButton(QStringLiteral("Revert settings"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(16, 374, 130, 28);
  Button1->setAutoDefault(false);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  Button2 = new QPushButton(QStringLiteral("Close"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(426, 374, 114, 28);
  Button2->setDefault(true);
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

  CentreOnScreen(*this, parent);
}

void DetailedSetup::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void DetailedSetup::SetProxyControlsEnabled(bool enabled) {
  HostBox->setEnabled(enabled);
  PortLabel->setEnabled(enabled);
  proxyport->setEnabled(enabled);
}

void DetailedSetup::FormShow() {
  SettingsList& settings = host_.Settings();
  try {
    KBmodepanel->SetItemIndex(host_.KilobitMode());
  } catch (const std::exception&) {
    // A mode the group cannot show keeps its selection.
  }
  try {
    AvgModepanel->SetItemIndex(settings.LineNumber(2, 1) - 1);
  } catch (const std::exception&) {
    // As above.
  }
  URLbox->setText(settings.Line(3));
  WinStartupBox->setChecked(settings.Line(10) == kOne);
  AnalyseStartupbox->setChecked(settings.Line(11) == kOne);
  FillAdapterBox(*Interfacebox, settings.LineNumber(13, 0));
  if (const std::optional<bool> use = ShowProxyFields(*HostBox, *proxyport)) {
    UseProxyBox->setChecked(*use);
    SetProxyControlsEnabled(*use);
  }
}

void DetailedSetup::InterfaceboxChange() {
  try {
    if (!StoreAdapterChoice(*Interfacebox)) {
      return;
    }
    host_.SetAdapterLabel(SettingsLoader::AdapterCaption(Interfacebox->currentText()));
    if (Interfacebox->currentIndex() == 0) {
      host_.ShowTip(38);
    }
  } catch (const std::exception&) {
    // A failing combo box or tip does not stop the choice.
  }
}

void DetailedSetup::HostBoxChange() {
  host_.Settings().SetLine(8, HostBox->text());
}

void DetailedSetup::proxyportChange() {
  host_.Settings().SetLine(9, proxyport->text());
}

void DetailedSetup::UseProxyBoxClick() {
  const bool use = UseProxyBox->isChecked();
  host_.Settings().SetLine(14, use ? kOne : kZero);
  SetProxyControlsEnabled(use);
}

void DetailedSetup::Button1Click() {
  if (!RevertAnswered()) {
    return;
  }
  // The window shows the saved profile again, and the one choice FormShow
  // does not read from it goes back to how the window opened.
  StayOnTopBox->setChecked(false);
  FormShow();
}

void DetailedSetup::Button2Click() {
  close();
}

bool DetailedSetup::FormClose() {
  SettingsList& settings = host_.Settings();
  try {
    ApplyKilobitMode(static_cast<uint8_t>(KBmodepanel->ItemIndex()));

    const auto averagingMode = static_cast<uint8_t>(AvgModepanel->ItemIndex() + 1);
    host_.SetAveragingMode(averagingMode);
    settings.SetLine(2, QString::number(averagingMode));

    ApplyProxyIfUsed();

    ApplyAutostart(WinStartupBox->isChecked());

    const QString url = URLbox->text().trimmed();
    settings.SetLine(3, url);
    // An empty line counts as the bare scheme, for the client as well.
    host_.SetUrl(url.isEmpty() ? QStringLiteral("http://") : url);

    settings.SetLine(11, AnalyseStartupbox->isChecked() ? kOne : kZero);

    ApplyWindowStyle(StayOnTopBox->isChecked());
  } catch (const std::exception& error) {
    host_.ReportError(error);
    return false;
  }
  return true;
}

}  // namespace velmar
