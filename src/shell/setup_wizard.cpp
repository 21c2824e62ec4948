#include "setup_wizard.h"

#include "setup_dialogs.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSignalBlocker>
#include <exception>
#include <memory>

#include "meter_art.h"
#include "settings_list.h"
#include "settings_loader.h"
#include "setup_host.h"
#include "user_interface.h"

namespace velmar {

namespace {

const QString kRestoreHint = QStringLiteral(
    "If you are not sure, or want to discard all setup changes, click the "
    "'Restore' button");
const QString kRestoreNote = QStringLiteral(
    "This will revert to the last saved settings. This will NOT overwrite any saved settings!");

constexpr int kPictureWidth = 112;
constexpr int kTextLeft = 128;
constexpr int kTextWidth = 322;

const QString kOne = QStringLiteral("1");
const QString kZero = QStringLiteral("0");

}  // namespace

const QString SetupWizard::kCaption = QStringLiteral("Velmar 2000 WizardForm");

SetupWizard::SetupWizard(SetupHost& host, QWidget* parent)
    : SingleSetupDialog(host, parent, QStringLiteral("WizardForm"), kCaption, kSize) {
  Notebook1_ = new QStackedWidget(this);
  Notebook1_->setObjectName(QStringLiteral("Notebook1"));
  Notebook1_->setGeometry(13, 20, 458, 182);
  BuildPages();

  bar_ = new WizardBar(this);
  bar_->SetBackCaption(QStringLiteral("< &Back"));
  bar_->SetNextCaption(QStringLiteral("&Next >"));
  bar_->SetAbortCaption(QStringLiteral("&Finish"));
  bar_->SetReadyCaption(QStringLiteral("&Finish"));
  bar_->SetHelpCaption(QStringLiteral("&Restore"));
  bar_->SetEnableHelp(true);
  bar_->setToolTip(
      QStringLiteral("Click \"Restore\" to Discard all setup changes and load last saved profile"));
  bar_->OnEndClick = [this] { FinishClick(); };
  bar_->OnHelpClick = [this] { HelpClick(); };
  bar_->SetNoteBook(Notebook1_);
  connect(Notebook1_, &QStackedWidget::currentChanged, this,
          [this](int page) { Notebook1PageChanged(page); });

  // Centred on the desktop (of the parent's screen when there is one).
  CentreOnScreen(*this, parent);
}

QWidget* SetupWizard::AddPage(const char* name) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(name));
  auto* picture = new QLabel(page);
  picture->setObjectName(QStringLiteral("Picture"));
  picture->setGeometry(0, 0, kPictureWidth, 182);
  picture->setPixmap(
      QPixmap::fromImage(MeterArt::WizardPicture(Notebook1_->count(), picture->size())));
  Notebook1_->addWidget(page);
  return page;
}

QLabel* SetupWizard::Text(QWidget* page, const QString& text, int top, int height) {
  auto* label = new QLabel(text, page);
  label->setGeometry(kTextLeft, top, kTextWidth, height);
  label->setWordWrap(height > 20);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

WrapRadioButton* SetupWizard::Choice(QWidget* page, const char* name, const QString& caption,
                                     QRect geometry, void (SetupWizard::*handler)()) {
  auto* button = new WrapRadioButton(caption, page);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  if (handler != nullptr) {
    // Selecting a choice from code counts as a click, as it always has.
    connect(button, &QRadioButton::toggled, this, [this, handler](bool checked) {
      if (checked) {
        (this->*handler)();
      }
    });
  }
  return button;
}

void SetupWizard::BuildPages() {
  QWidget* page = AddPage("Welcome");
  Text(page, QStringLiteral("Please answer a few questions,"), 8);
  Text(page, QStringLiteral("use the 'Next' button to continue..."), 28);
  Text(page, kRestoreHint, 66, 38);
  Text(page, kRestoreNote, 110, 38);

  page = AddPage("Analyser");
  Text(page, QStringLiteral("I want the Velmar Window to..."), 8);
  NormalBox =
      Choice(page, "NormalBox",
             QStringLiteral("be show in Normal Windows style and hide behind active windows"),
             QRect(kTextLeft, 40, kTextWidth, 42), nullptr);
  OnTopBox =
      Choice(page, "OnTopBox", QStringLiteral("be shown on top of all windows even if not active"),
             QRect(kTextLeft, 92, kTextWidth, 42), nullptr);

  page = AddPage("Proxy");
  Text(page, QStringLiteral("Do you connect to the internet through"), 8);
  Text(page, QStringLiteral("a proxy server?"), 26);
  RadioButton3 = Choice(page, "RadioButton3", QStringLiteral("No"), QRect(kTextLeft, 60, 100, 24),
                        &SetupWizard::RadioButton3Click);
  RadioButton4 = Choice(page, "RadioButton4", QStringLiteral("Yes,  Host:"),
                        QRect(kTextLeft, 94, 100, 24), &SetupWizard::RadioButton4Click);
  ProxyName = new QLineEdit(page);
  ProxyName->setObjectName(QStringLiteral("ProxyName"));
  ProxyName->setGeometry(kTextLeft + 104, 94, kTextWidth - 104, 24);
  auto* portLabel = new QLabel(QStringLiteral("Port:"), page);
  portLabel->setObjectName(QStringLiteral("PortLabel"));
  portLabel->setGeometry(kTextLeft + 104, 128, 40, 24);
  ProxyPort = new QLineEdit(page);
  ProxyPort->setObjectName(QStringLiteral("ProxyPort"));
  ProxyPort->setGeometry(kTextLeft + 146, 128, 64, 24);
  connect(ProxyName, &QLineEdit::textChanged, this, [this] { ProxyNameChange(); });
  connect(ProxyPort, &QLineEdit::textChanged, this, [this] { ProxyPortChange(); });

  page = AddPage("bitspersecond");
  Text(page, QStringLiteral("Do you want Velmar to use... "), 8);
  RadioButton1 = Choice(page, "RadioButton1", QStringLiteral("1000 bits for 1 Kilobit (default)"),
                        QRect(kTextLeft, 44, kTextWidth, 24), &SetupWizard::RadioButton1Click);
  RadioButton2 = Choice(page, "RadioButton2", QStringLiteral("1024 bits for 1 Kilobit"),
                        QRect(kTextLeft, 76, kTextWidth, 24), &SetupWizard::RadioButton2Click);

  page = AddPage("Interface");
  Text(page, QStringLiteral("Select network interface to monitor:"), 8);
  Text(page, QStringLiteral("Select \"All\" if you're not sure..."), 28);
  InterfaceBox = new QComboBox(page);
  InterfaceBox->setObjectName(QStringLiteral("InterfaceBox"));
  InterfaceBox->setGeometry(kTextLeft, 62, kTextWidth, 26);
  InterfaceBox->addItem(QStringLiteral("All"));
  // Only the user's choice is a change; filling the box from the settings
  // is not.
  connect(InterfaceBox, &QComboBox::activated, this, [this] { InterfaceBoxChange(); });

  page = AddPage("Autoload");
  Text(page, QStringLiteral("Do you want Velmar to be started every time"), 8);
  Text(page, QStringLiteral("you start a Windows session?"), 26);
  RadioButton5 = Choice(page, "RadioButton5", QStringLiteral("No (default)"),
                        QRect(kTextLeft, 60, kTextWidth, 24), &SetupWizard::RadioButton5Click);
  RadioButton6 = Choice(page, "RadioButton6", QStringLiteral("Yes please"),
                        QRect(kTextLeft, 92, kTextWidth, 24), &SetupWizard::RadioButton6Click);

  page = AddPage("StartAnalyse");
  Text(page, QStringLiteral("Should Velmar start analysing immediately"), 8);
  Text(page, QStringLiteral("when program starts?"), 26);
  RadioButton7 = Choice(page, "RadioButton7", QStringLiteral("No (default)"),
                        QRect(kTextLeft, 60, kTextWidth, 24), &SetupWizard::RadioButton7Click);
  RadioButton8 = Choice(page, "RadioButton8", QStringLiteral("Yes please"),
                        QRect(kTextLeft, 92, kTextWidth, 24), &SetupWizard::RadioButton8Click);

  page = AddPage("End");
  QLabel* ready = Text(page, QStringLiteral("Ready! Press 'Finish'"), 8, 20);
  QFont bold = ready->font();
  bold.setBold(true);
  ready->setFont(bold);
  Text(page, kRestoreHint, 66, 38);
  Text(page, kRestoreNote, 110, 38);

  ResetChoices();
}

void SetupWizard::ResetChoices() {
  for (QRadioButton* choice : {NormalBox, RadioButton3, RadioButton1, RadioButton5, RadioButton7}) {
    const QSignalBlocker quiet(choice);
    choice->setChecked(true);
  }
}

void SetupWizard::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void SetupWizard::FormShow() {
  Notebook1_->setCurrentIndex(0);
  bar_->NextButton()->setFocus();
}

void SetupWizard::SetProxyEditsEnabled(bool enabled) {
  ProxyName->setEnabled(enabled);
  ProxyPort->setEnabled(enabled);
}

void SetupWizard::Notebook1PageChanged(int page) {
  SettingsList& settings = host_.Settings();
  switch (page) {
    case 2:
      if (const std::optional<bool> use = ShowProxyFields(*ProxyName, *ProxyPort)) {
        (*use ? RadioButton4 : RadioButton3)->setChecked(true);
        SetProxyEditsEnabled(*use);
      }
      break;
    case 3:
      (host_.KilobitMode() != 0 ? RadioButton2 : RadioButton1)->setChecked(true);
      break;
    case 4:
      FillAdapterBox(*InterfaceBox, host_.AdapterIndex());
      break;
    case 5:
      (settings.Line(10) != kZero ? RadioButton6 : RadioButton5)->setChecked(true);
      break;
    case 6:
      (settings.Line(11) != kZero ? RadioButton8 : RadioButton7)->setChecked(true);
      break;
    default:
      break;
  }
}

void SetupWizard::ProxyChoiceClick() {
  const bool no = RadioButton3->isChecked();
  host_.Settings().SetLine(14, no ? kZero : kOne);
  SetProxyEditsEnabled(!no);
}

void SetupWizard::ProxyNameChange() {
  host_.Settings().SetLine(8, ProxyName->text());
}

void SetupWizard::ProxyPortChange() {
  host_.Settings().SetLine(9, ProxyPort->text());
}

void SetupWizard::KilobitChoiceClick() {
  ApplyKilobitMode(RadioButton1->isChecked() ? 0 : 1);
}

void SetupWizard::InterfaceBoxChange() {
  try {
    if (!StoreAdapterChoice(*InterfaceBox)) {
      return;
    }
    if (InterfaceBox->currentIndex() == 0) {
      host_.ShowTip(38);
    }
    host_.SetAdapterLabel(SettingsLoader::AdapterCaption(InterfaceBox->currentText()));
  } catch (const std::exception&) {
    // A failing combo box or tip does not stop the choice.
  }
}

void SetupWizard::AutoloadChoiceClick() {
  host_.Settings().SetLine(10, RadioButton5->isChecked() ? kZero : kOne);
}

void SetupWizard::StartChoiceClick() {
  host_.Settings().SetLine(11, RadioButton7->isChecked() ? kZero : kOne);
}

void SetupWizard::FinishClick() {
  try {
    ApplyProxyIfUsed();
    if (host_.Settings().Line(10) == kOne) {
      host_.WriteAutostart(true);
    }
  } catch (const std::exception& error) {
    host_.ReportError(error);
    return;
  }
  close();
}

void SetupWizard::HelpClick() {
  if (!RevertAnswered()) {
    return;
  }
  // Starting over means the choices of this run go too: otherwise closing
  // would bring back the window style and autostart just discarded.
  ResetChoices();
  Notebook1_->setCurrentIndex(0);
}

bool SetupWizard::FormClose() {
  try {
    ApplyWindowStyle(OnTopBox->isChecked());
    ApplyAutostart(RadioButton6->isChecked());
  } catch (const std::exception& error) {
    host_.ReportError(error);
    return false;
  }
  return true;
}

}  // namespace velmar
