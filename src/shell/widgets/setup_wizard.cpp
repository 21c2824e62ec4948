#include "shell/widgets/setup_wizard.h"

#include "shell/widgets/setup_dialogs.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSignalBlocker>
#include <exception>
#include <memory>

#include "config/settings_list.h"
#include "config/settings_loader.h"
#include "platform/user_interface.h"
#include "platform/widgets/field_caption.h"
#include "platform/widgets/fit_to_font.h"
#include "platform/widgets/picture_view.h"
#include "shell/paint/meter_art.h"
#include "shell/setup_host.h"
#include "shell/widgets/window_system.h"

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

const QString kChecked = QStringLiteral("1");
const QString kUnchecked = QStringLiteral("0");

}  // namespace

const QString SetupWizard::kCaption = QStringLiteral("Velmar 2000 Setup Wizard");

SetupWizard::SetupWizard(SetupHost& host, QWidget* parent)
    : SingleSetupDialog(host, parent, QStringLiteral("WizardForm"), kCaption, kSize) {
  pages_ = new QStackedWidget(this);
  pages_->setObjectName(QStringLiteral("pages"));
  pages_->setGeometry(13, 20, 458, 182);
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
  connect(bar_, &WizardBar::EndClicked, this, [this] { Finish(); });
  connect(bar_, &WizardBar::HelpClicked, this, [this] { RevertSettings(); });
  bar_->SetEnableCancel(true);
  connect(bar_, &WizardBar::CancelClicked, this, [this] { Cancel(); });
  openedWith_ = host_.Settings();
  openedKilobitMode_ = host_.KilobitMode();
  openedAdapterIndex_ = host_.AdapterIndex();
  bar_->SetNoteBook(pages_);
  connect(pages_, &QStackedWidget::currentChanged, this,
          [this](int page) { LoadPageChoices(page); });

  // Built in design pixels; a larger font makes it all larger.
  FitToFont(*this);
  // Centred on the desktop (of the parent's screen when there is one).
  CentreOnScreen(*this, parent);
}

QWidget* SetupWizard::AddPage(const char* name) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(name));
  const int number = pages_->count();
  auto* picture = new PictureView(
      [number](QSize size, qreal ratio) { return MeterArt::WizardPicture(number, size, ratio); },
      page);
  picture->setObjectName(QStringLiteral("Picture"));
  picture->setGeometry(0, 0, kPictureWidth, 182);
  pages_->addWidget(page);
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
    // A choice selected from code runs its handler as a click does, so
    // the settings always follow what the page shows.
    connect(button, &QRadioButton::toggled, this, [this, handler](bool checked) {
      if (checked) {
        (this->*handler)();
      }
    });
  }
  return button;
}

void SetupWizard::BuildPages() {
  BuildWelcomePage();
  BuildWindowPage();
  BuildProxyPage();
  BuildKilobitPage();
  BuildInterfacePage();
  BuildAutoloadPage();
  BuildStartPage();
  BuildEndPage();
  ResetChoices();
}

void SetupWizard::BuildWelcomePage() {
  QWidget* page = AddPage("Welcome");
  Text(page, QStringLiteral("Please answer a few questions,"), 8);
  Text(page, QStringLiteral("use the 'Next' button to continue..."), 28);
  Text(page, kRestoreHint, 66, 38);
  Text(page, kRestoreNote, 110, 38);
}

void SetupWizard::BuildWindowPage() {
  QWidget* page = AddPage("Analyser");
  Text(page, QStringLiteral("I want the Velmar Window to..."), 8);
  normalWindowChoice_ =
      Choice(page, "NormalBox",
             QStringLiteral("be shown in Normal Windows style and hide behind active windows"),
             QRect(kTextLeft, 40, kTextWidth, 42), nullptr);
  onTopChoice_ =
      Choice(page, "OnTopBox", QStringLiteral("be shown on top of all windows even if not active"),
             QRect(kTextLeft, 92, kTextWidth, 42), nullptr);
  if (OnWayland()) {
    onTopChoice_->setEnabled(false);
    onTopChoice_->setToolTip(kNoStayOnTopTip);
  }
}

void SetupWizard::BuildProxyPage() {
  QWidget* page = AddPage("Proxy");
  Text(page, QStringLiteral("Do you connect to the internet through"), 8);
  Text(page, QStringLiteral("a proxy server?"), 26);
  noProxyChoice_ = Choice(page, "noProxyChoice", QStringLiteral("No"),
                          QRect(kTextLeft, 60, 100, 24), &SetupWizard::StoreProxyChoice);
  proxyChoice_ = Choice(page, "proxyChoice", QStringLiteral("Yes,  Host:"),
                        QRect(kTextLeft, 94, 100, 24), &SetupWizard::StoreProxyChoice);
  proxyHostEdit_ = new QLineEdit(page);
  proxyHostEdit_->setObjectName(QStringLiteral("ProxyName"));
  proxyHostEdit_->setGeometry(kTextLeft + 104, 94, kTextWidth - 104, 24);
  proxyHostEdit_->setAccessibleName(QStringLiteral("Proxy host"));
  auto* portLabel = new QLabel(QStringLiteral("Port:"), page);
  portLabel->setObjectName(QStringLiteral("PortLabel"));
  portLabel->setGeometry(kTextLeft + 104, 128, 40, 24);
  proxyPortEdit_ = new QLineEdit(page);
  proxyPortEdit_->setObjectName(QStringLiteral("ProxyPort"));
  proxyPortEdit_->setGeometry(kTextLeft + 146, 128, 64, 24);
  CaptionField(*portLabel, *proxyPortEdit_);
  connect(proxyHostEdit_, &QLineEdit::textChanged, this, [this] { StoreProxyHost(); });
  connect(proxyPortEdit_, &QLineEdit::textChanged, this, [this] { StoreProxyPort(); });
}

void SetupWizard::BuildKilobitPage() {
  QWidget* page = AddPage("bitspersecond");
  Text(page, QStringLiteral("Do you want Velmar to use... "), 8);
  kilobit1000Choice_ =
      Choice(page, "kilobit1000Choice", QStringLiteral("1000 bits for 1 Kilobit (default)"),
             QRect(kTextLeft, 44, kTextWidth, 24), &SetupWizard::StoreKilobitChoice);
  kilobit1024Choice_ =
      Choice(page, "kilobit1024Choice", QStringLiteral("1024 bits for 1 Kilobit"),
             QRect(kTextLeft, 76, kTextWidth, 24), &SetupWizard::StoreKilobitChoice);
}

void SetupWizard::BuildInterfacePage() {
  QWidget* page = AddPage("Interface");
  Text(page, QStringLiteral("Select network interface to monitor:"), 8);
  Text(page, QStringLiteral("Select \"All\" if you're not sure..."), 28);
  interfaceBox_ = new QComboBox(page);
  interfaceBox_->setObjectName(QStringLiteral("InterfaceBox"));
  interfaceBox_->setGeometry(kTextLeft, 62, kTextWidth, 26);
  interfaceBox_->addItem(QStringLiteral("All"));
  // Only the user's choice is a change; filling the box from the settings
  // is not.
  connect(interfaceBox_, &QComboBox::activated, this, [this] { StoreInterfaceChoice(); });
}

void SetupWizard::BuildAutoloadPage() {
  QWidget* page = AddPage("Autoload");
  Text(page, QStringLiteral("Do you want Velmar to be started every time"), 8);
  Text(page, QStringLiteral("you log in?"), 26);
  noAutoloadChoice_ =
      Choice(page, "noAutoloadChoice", QStringLiteral("No (default)"),
             QRect(kTextLeft, 60, kTextWidth, 24), &SetupWizard::StoreAutoloadChoice);
  autoloadChoice_ = Choice(page, "autoloadChoice", QStringLiteral("Yes please"),
                           QRect(kTextLeft, 92, kTextWidth, 24), &SetupWizard::StoreAutoloadChoice);
}

void SetupWizard::BuildStartPage() {
  QWidget* page = AddPage("StartAnalyse");
  Text(page, QStringLiteral("Should Velmar start analysing immediately"), 8);
  Text(page, QStringLiteral("when program starts?"), 26);
  startIdleChoice_ = Choice(page, "startIdleChoice", QStringLiteral("No (default)"),
                            QRect(kTextLeft, 60, kTextWidth, 24), &SetupWizard::StoreStartChoice);
  startActiveChoice_ = Choice(page, "startActiveChoice", QStringLiteral("Yes please"),
                              QRect(kTextLeft, 92, kTextWidth, 24), &SetupWizard::StoreStartChoice);
}

void SetupWizard::BuildEndPage() {
  QWidget* page = AddPage("End");
  QLabel* ready = Text(page, QStringLiteral("Ready! Press 'Finish'"), 8, 20);
  QFont bold = ready->font();
  bold.setBold(true);
  ready->setFont(bold);
  Text(page, kRestoreHint, 66, 38);
  Text(page, kRestoreNote, 110, 38);
}

void SetupWizard::ResetChoices() {
  for (QRadioButton* choice : {normalWindowChoice_, noProxyChoice_, kilobit1000Choice_,
                               noAutoloadChoice_, startIdleChoice_}) {
    const QSignalBlocker quiet(choice);
    choice->setChecked(true);
  }
}

void SetupWizard::ShowFirstPage() {
  pages_->setCurrentIndex(0);
  bar_->NextButton()->setFocus();
}

void SetupWizard::SetProxyEditsEnabled(bool enabled) {
  proxyHostEdit_->setEnabled(enabled);
  proxyPortEdit_->setEnabled(enabled);
}

void SetupWizard::LoadPageChoices(int page) {
  SettingsList& settings = host_.Settings();
  switch (page) {
    case 2:
      if (const std::optional<bool> use = ShowProxyFields(*proxyHostEdit_, *proxyPortEdit_)) {
        (*use ? proxyChoice_ : noProxyChoice_)->setChecked(true);
        SetProxyEditsEnabled(*use);
      }
      break;
    case 3:
      (host_.KilobitMode() != 0 ? kilobit1024Choice_ : kilobit1000Choice_)->setChecked(true);
      break;
    case 4:
      FillAdapterBox(*interfaceBox_, host_.AdapterIndex());
      break;
    case 5:
      (settings.Line(SettingsLine::kAutostart) != kUnchecked ? autoloadChoice_ : noAutoloadChoice_)
          ->setChecked(true);
      break;
    case 6:
      (settings.Line(SettingsLine::kStartActive) != kUnchecked ? startActiveChoice_
                                                               : startIdleChoice_)
          ->setChecked(true);
      break;
    default:
      break;
  }
}

void SetupWizard::StoreProxyChoice() {
  const bool no = noProxyChoice_->isChecked();
  host_.Settings().SetFlag(SettingsLine::kUseProxy, !no);
  SetProxyEditsEnabled(!no);
}

void SetupWizard::StoreProxyHost() {
  host_.Settings().SetLine(SettingsLine::kProxyHost, proxyHostEdit_->text());
}

void SetupWizard::StoreProxyPort() {
  host_.Settings().SetLine(SettingsLine::kProxyPort, proxyPortEdit_->text());
}

void SetupWizard::StoreKilobitChoice() {
  ApplyKilobitMode(kilobit1000Choice_->isChecked() ? 0 : 1);
}

void SetupWizard::StoreInterfaceChoice() {
  try {
    if (!StoreAdapterChoice(*interfaceBox_)) {
      return;
    }
    if (interfaceBox_->currentIndex() == 0) {
      host_.ShowTip(Tip::kAllAdapters);
    }
    host_.SetAdapterLabel(SettingsLoader::AdapterCaption(interfaceBox_->currentText()));
  } catch (const std::exception&) {
    // A failing combo box or tip does not stop the choice.
  }
}

void SetupWizard::StoreAutoloadChoice() {
  host_.Settings().SetFlag(SettingsLine::kAutostart, !noAutoloadChoice_->isChecked());
}

void SetupWizard::StoreStartChoice() {
  host_.Settings().SetFlag(SettingsLine::kStartActive, !startIdleChoice_->isChecked());
}

void SetupWizard::Finish() {
  try {
    ApplyProxy();
    if (host_.Settings().Flag(SettingsLine::kAutostart)) {
      host_.WriteAutostart(true);
    }
  } catch (const std::exception& error) {
    host_.ReportError(error);
    return;
  }
  close();
}

void SetupWizard::RevertSettings() {
  if (!RevertAnswered()) {
    return;
  }
  // Starting over means the choices of this run go too: otherwise closing
  // would bring back the window style and autostart just discarded.
  ResetChoices();
  pages_->setCurrentIndex(0);
}

void SetupWizard::Cancel() {
  // The choices went into the lines and the meter as they were clicked.
  host_.Settings() = openedWith_;
  host_.SetKilobitMode(openedKilobitMode_);
  host_.SetSpeedHintsFor(openedKilobitMode_);
  host_.SetAdapterIndex(openedAdapterIndex_);
  host_.SetAdapterLabel(SettingsLoader::AdapterCaption(host_.AdapterNames(), openedAdapterIndex_));
  cancelled_ = true;
  reject();
}

bool SetupWizard::ApplyBeforeClose() {
  if (cancelled_) {
    return true;
  }
  try {
    ApplyWindowStyle(onTopChoice_->isChecked());
    ApplyAutostart(autoloadChoice_->isChecked());
  } catch (const std::exception& error) {
    host_.ReportError(error);
    return false;
  }
  return true;
}

}  // namespace velmar
