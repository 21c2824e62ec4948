#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include "config/settings_list.h"
#include "shell/widgets/setup_dialogs.h"

#include "wizard/widgets/wizard_bar.h"
#include "wizard/widgets/wrap_radio_button.h"

namespace velmar {

class SetupHost;

// The quick setup: one question per page of a notebook driven by a wizard
// bar. Choices go into the settings lines as they are clicked; the window
// style and the autostart value follow the choices of pages 1 and 5 when
// the wizard closes, however it closes, except by "&Cancel", which puts
// back the settings as they were when the wizard opened.
class SetupWizard : public SingleSetupDialog<SetupWizard> {
 public:
  static const QString kCaption;
  static constexpr QSize kSize{484, 266};

  explicit SetupWizard(SetupHost& host, QWidget* parent = nullptr);
  // The "Settings" tab's button: see Open.
  static void OpenWizard(SetupHost& host, QWidget* parent) { Open(host, parent); }

  // Handlers.
  void ShowFirstPage();
  // Shows what the settings say on the page just turned to.
  void LoadPageChoices(int page);
  void StoreProxyHost();
  void StoreProxyPort();
  void StoreInterfaceChoice();
  void Finish();          // "&Finish"
  void RevertSettings();  // "&Restore"
  void Cancel();          // "&Cancel"
  // Every way of closing ends here. False, with the error reported, when
  // the autostart value cannot be written: the wizard then stays open.
  bool ApplyBeforeClose() override;

  QStackedWidget* Pages() const { return pages_; }
  WizardBar* Bar() const { return bar_; }

 protected:
  void LoadControls() override { ShowFirstPage(); }

 private:
  QWidget* AddPage(const char* name);
  QLabel* Text(QWidget* page, const QString& text, int top, int height = 18);
  WrapRadioButton* Choice(QWidget* page, const char* name, const QString& caption, QRect geometry,
                          void (SetupWizard::*handler)());
  // The pages in order, each with its controls, then the first choices.
  void BuildPages();
  void BuildWelcomePage();
  void BuildWindowPage();
  void BuildProxyPage();
  void BuildKilobitPage();
  void BuildInterfacePage();
  void BuildAutoloadPage();
  void BuildStartPage();
  void BuildEndPage();
  // The choices' clicks, one for each pair.
  void StoreKilobitChoice();
  void StoreProxyChoice();
  void StoreAutoloadChoice();
  void StoreStartChoice();
  void SetProxyEditsEnabled(bool enabled);
  // The choices as the window resource has them, without writing a line.
  void ResetChoices();

  QStackedWidget* pages_;
  WizardBar* bar_;
  WrapRadioButton* normalWindowChoice_ = nullptr;
  WrapRadioButton* onTopChoice_ = nullptr;
  WrapRadioButton* kilobit1000Choice_ = nullptr;
  WrapRadioButton* kilobit1024Choice_ = nullptr;
  WrapRadioButton* noProxyChoice_ = nullptr;
  WrapRadioButton* proxyChoice_ = nullptr;
  WrapRadioButton* noAutoloadChoice_ = nullptr;
  WrapRadioButton* autoloadChoice_ = nullptr;
  WrapRadioButton* startIdleChoice_ = nullptr;
  WrapRadioButton* startActiveChoice_ = nullptr;
  QLineEdit* proxyHostEdit_ = nullptr;
  QLineEdit* proxyPortEdit_ = nullptr;
  QComboBox* interfaceBox_ = nullptr;
  // What "&Cancel" puts back.
  SettingsList openedWith_;
  uint8_t openedKilobitMode_ = 0;
  int16_t openedAdapterIndex_ = 0;
  bool cancelled_ = false;
};

}  // namespace velmar
