#include "shell/widgets/detailed_setup.h"

#include "shell/widgets/setup_dialogs.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSignalBlocker>
#include <exception>
#include <stdexcept>

#include "config/settings_list.h"
#include "config/settings_loader.h"
#include "platform/key_store.h"
#include "platform/user_interface.h"
#include "platform/widgets/fit_to_font.h"
#include "platform/widgets/picture_view.h"
#include "shell/paint/meter_art.h"
#include "shell/setup_host.h"
#include "shell/widgets/device_source_dialog.h"
#include "shell/widgets/setup_wizard.h"
#include "shell/widgets/window_system.h"

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
    : SingleSetupDialog(host, parent, QStringLiteral("detailedSetup"), kCaption, kSize) {
  BuildSourceRows();
  BuildModeGroups();
  BuildProxyRows();
  BuildStartBoxes();
  BuildButtons();
  // Built in design pixels; a larger font makes it all larger.
  FitToFont(*this);
  CentreOnScreen(*this, parent);
}

void DetailedSetup::BuildSourceRows() {
  auto* picture = new PictureView(&MeterArt::SetupPicture, this);
  picture->setObjectName(QStringLiteral("Picture"));
  picture->setGeometry(16, 14, 100, 112);

  QLabel* interfaceCaption =
      Caption(QStringLiteral("&Network interface to monitor:"), QRect(132, 14, 408, 18));
  interfaceBox_ = new QComboBox(this);
  interfaceBox_->setObjectName(QStringLiteral("Interfacebox"));
  interfaceBox_->setGeometry(132, 34, 408, 26);
  interfaceBox_->addItem(QStringLiteral("All"));
  interfaceCaption->setBuddy(interfaceBox_);
  // Only the user's choice is a change; filling the box is not.
  connect(interfaceBox_, &QComboBox::activated, this, [this] { StoreInterfaceChoice(); });

  QLabel* urlCaption =
      Caption(QStringLiteral("&URL (http or ftp) for 'Generate' Mode:"), QRect(132, 72, 408, 18));
  urlEdit_ = new QLineEdit(this);
  urlEdit_->setObjectName(QStringLiteral("URLbox"));
  urlEdit_->setGeometry(132, 92, 408, 24);
  urlCaption->setBuddy(urlEdit_);
}

void DetailedSetup::BuildModeGroups() {
  kilobitModeGroup_ =
      new RadioGroup("KBmodepanel", QStringLiteral("1 KiloBit is "),
                     {QStringLiteral("&1000 bits"), QStringLiteral("10&24 bits")}, 2, this);
  kilobitModeGroup_->setGeometry(16, 136, 220, 56);
  averagingModeGroup_ = new RadioGroup(
      "AvgModepanel", QStringLiteral("Averaging algorithm "),
      {QStringLiteral("&3 Pole"), QStringLiteral("&Mid range"), QStringLiteral("&Full range")}, 3,
      this);
  averagingModeGroup_->setGeometry(248, 136, 292, 56);
}

void DetailedSetup::BuildProxyRows() {
  useProxyBox_ = Check("UseProxyBox", QStringLiteral("Connect through pro&xy server"),
                       QRect(16, 204, 300, 22));
  // A check set from code runs the handler as a click does, so the proxy
  // fields always follow the box.
  connect(useProxyBox_, &QCheckBox::toggled, this, [this] { StoreProxyUse(); });
  proxyHostLabel_ =
      Caption(QStringLiteral("Proxy server address or &hostname:"), QRect(36, 230, 400, 18));
  proxyHostLabel_->setObjectName(QStringLiteral("HostLabel"));
  proxyHostEdit_ = new QLineEdit(this);
  proxyHostEdit_->setObjectName(QStringLiteral("HostBox"));
  proxyHostEdit_->setGeometry(36, 250, 400, 24);
  proxyHostLabel_->setBuddy(proxyHostEdit_);
  connect(proxyHostEdit_, &QLineEdit::textChanged, this, [this] { StoreProxyHost(); });
  proxyPortLabel_ = Caption(QStringLiteral("P&ort:"), QRect(452, 230, 60, 18));
  proxyPortLabel_->setObjectName(QStringLiteral("PortLabel"));
  proxyPortEdit_ = new QLineEdit(this);
  proxyPortEdit_->setObjectName(QStringLiteral("proxyport"));
  // Four characters wide, yet a five-digit port still shows whole.
  proxyPortEdit_->setGeometry(452, 250, 60, 24);
  proxyPortLabel_->setBuddy(proxyPortEdit_);
  connect(proxyPortEdit_, &QLineEdit::textChanged, this, [this] { StoreProxyPort(); });
}

void DetailedSetup::BuildStartBoxes() {
  autostartBox_ = Check("WinStartupBox", QStringLiteral("&Auto-run Velmar when I log in"),
                        QRect(16, 290, 400, 22));
  startActiveBox_ = Check("AnalyseStartupbox", QStringLiteral("&Start Velmar in 'Active' mode"),
                          QRect(16, 314, 400, 22));
  stayOnTopBox_ = Check("StayOnTopBox", QStringLiteral("&Keep Velmar main-window on top"),
                        QRect(16, 338, 400, 22));
  // The sockets of this computer: a device's traffic has no programs here.
  programHistoryBox_ =
      Check("ProgramHistoryBox", QStringLiteral("Record each &program's traffic in the history"),
            QRect(16, 362, 400, 22));
  programHistoryBox_->setToolTip(
      QStringLiteral("Reads this computer's sockets every 2 seconds while measuring"));
  if (OnWayland()) {
    stayOnTopBox_->setEnabled(false);
    stayOnTopBox_->setToolTip(kNoStayOnTopTip);
  }
}

void DetailedSetup::BuildButtons() {
  revertButton_ = new QPushButton(QStringLiteral("&Revert settings"), this);
  revertButton_->setObjectName(QStringLiteral("revertButton"));
  revertButton_->setGeometry(16, 398, 130, 28);
  revertButton_->setAutoDefault(false);
  connect(revertButton_, &QPushButton::clicked, this, [this] { RevertSettings(); });
  sourceButton_ = new QPushButton(QStringLiteral("Sour&ce..."), this);
  sourceButton_->setObjectName(QStringLiteral("sourceButton"));
  sourceButton_->setGeometry(158, 398, 130, 28);
  sourceButton_->setAutoDefault(false);
  sourceButton_->setToolTip(QStringLiteral("Measure this computer or a device on the network"));
  connect(sourceButton_, &QPushButton::clicked, this, [this] { ChooseSource(); });
  closeButton_ = new QPushButton(QStringLiteral("C&lose"), this);
  closeButton_->setObjectName(QStringLiteral("closeButton"));
  closeButton_->setGeometry(426, 398, 114, 28);
  closeButton_->setDefault(true);
  connect(closeButton_, &QPushButton::clicked, this, [this] { CloseWindow(); });
}

void DetailedSetup::SetProxyControlsEnabled(bool enabled) {
  // The captions with their fields, so an unused field looks unused.
  proxyHostLabel_->setEnabled(enabled);
  proxyHostEdit_->setEnabled(enabled);
  proxyPortLabel_->setEnabled(enabled);
  proxyPortEdit_->setEnabled(enabled);
}

void DetailedSetup::ShowSettings() {
  SettingsList& settings = host_.Settings();
  try {
    kilobitModeGroup_->SetItemIndex(host_.KilobitMode());
  } catch (const std::exception&) {
    // A mode the group cannot show keeps its selection.
  }
  try {
    averagingModeGroup_->SetItemIndex(settings.LineNumber(SettingsLine::kAveragingMode, 1) - 1);
  } catch (const std::exception&) {
    // As above.
  }
  urlEdit_->setText(settings.Line(SettingsLine::kGenerateUrl));
  autostartBox_->setChecked(settings.Flag(SettingsLine::kAutostart));
  startActiveBox_->setChecked(settings.Flag(SettingsLine::kStartActive));
  programHistoryBox_->setChecked(settings.Flag(SettingsLine::kProgramHistory));
  FillAdapterBox(*interfaceBox_, settings.LineNumber(SettingsLine::kAdapterIndex, 0));
  if (const std::optional<bool> use = ShowProxyFields(*proxyHostEdit_, *proxyPortEdit_)) {
    useProxyBox_->setChecked(*use);
    SetProxyControlsEnabled(*use);
  }
}

void DetailedSetup::StoreInterfaceChoice() {
  try {
    if (!StoreAdapterChoice(*interfaceBox_)) {
      return;
    }
    host_.SetAdapterLabel(SettingsLoader::AdapterCaption(interfaceBox_->currentText()));
    if (interfaceBox_->currentIndex() == 0) {
      host_.ShowTip(Tip::kAllAdapters);
    }
  } catch (const std::exception&) {
    // A failing combo box or tip does not stop the choice.
  }
}

void DetailedSetup::StoreProxyHost() {
  host_.Settings().SetLine(SettingsLine::kProxyHost, proxyHostEdit_->text());
}

void DetailedSetup::StoreProxyPort() {
  host_.Settings().SetLine(SettingsLine::kProxyPort, proxyPortEdit_->text());
}

void DetailedSetup::StoreProxyUse() {
  const bool use = useProxyBox_->isChecked();
  host_.Settings().SetFlag(SettingsLine::kUseProxy, use);
  SetProxyControlsEnabled(use);
}

void DetailedSetup::RevertSettings() {
  if (!RevertAnswered()) {
    return;
  }
  // The window shows the saved profile again, and the one choice ShowSettings
  // does not read from it goes back to how the window opened.
  stayOnTopBox_->setChecked(false);
  ShowSettings();
}

void DetailedSetup::ChooseSource() {
  KeyStore* store = nullptr;
  try {
    store = &KeyStore::Default();
  } catch (const std::exception&) {
    // The dialog says so when secrets would have to be kept.
  }
  DeviceSourceDialog dialog(host_, store, this);
  if (dialog.exec() == QDialog::Accepted) {
    ShowSettings();  // the new source's interfaces
  }
}

void DetailedSetup::CloseWindow() {
  close();
}

bool DetailedSetup::ApplyBeforeClose() {
  SettingsList& settings = host_.Settings();
  try {
    ApplyKilobitMode(static_cast<uint8_t>(kilobitModeGroup_->ItemIndex()));

    const auto averagingMode = static_cast<uint8_t>(averagingModeGroup_->ItemIndex() + 1);
    host_.SetAveragingMode(averagingMode);
    settings.SetLine(SettingsLine::kAveragingMode, QString::number(averagingMode));

    ApplyProxy();

    ApplyAutostart(autostartBox_->isChecked());

    const QString url = urlEdit_->text().trimmed();
    settings.SetLine(SettingsLine::kGenerateUrl, url);
    // An empty line counts as the bare scheme, for the client as well.
    host_.SetUrl(url.isEmpty() ? QStringLiteral("http://") : url);

    settings.SetFlag(SettingsLine::kStartActive, startActiveBox_->isChecked());
    // Written only when changed: an older file need not grow to line 65.
    if (programHistoryBox_->isChecked() != settings.Flag(SettingsLine::kProgramHistory)) {
      settings.SetLineExtending(SettingsLine::kProgramHistory,
                                programHistoryBox_->isChecked() ? kOne : QString());
    }
    host_.RecordPrograms();

    ApplyWindowStyle(stayOnTopBox_->isChecked());
  } catch (const std::exception& error) {
    host_.ReportError(error);
    return false;
  }
  return true;
}

}  // namespace velmar
