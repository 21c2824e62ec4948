#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include "setup_dialogs.h"

#include "wizard_bar.h"
#include "wrap_radio_button.h"

namespace velmar {

class SetupHost;

// The quick setup: one question per page of a notebook driven by a wizard
// bar. Choices go into the settings lines as they are clicked; the window
// style and the autostart value follow the choices of pages 1 and 5 when
// the wizard closes, however it closes.
class SetupWizard : public SingleSetupDialog<SetupWizard> {
 public:
  static const QString kCaption;
  static constexpr QSize kSize{484, 266};

  explicit SetupWizard(SetupHost& host, QWidget* parent = nullptr);
  // The "Settings" tab's button: see Open.
  static void OpenWizard(SetupHost& host, QWidget* parent) { Open(host, parent); }

  // Handlers.
  void FormShow();
  void Notebook1PageChanged(int page);
  void RadioButton1Click() { KilobitChoiceClick(); }
  void RadioButton2Click() { KilobitChoiceClick(); }
  void RadioButton3Click() { ProxyChoiceClick(); }
  void RadioButton4Click() { ProxyChoiceClick(); }
  void RadioButton5Click() { AutoloadChoiceClick(); }
  void RadioButton6Click() { AutoloadChoiceClick(); }
  void RadioButton7Click() { StartChoiceClick(); }
  void RadioButton8Click() { StartChoiceClick(); }
  void ProxyNameChange();
  void ProxyPortChange();
  void InterfaceBoxChange();
  void FinishClick();
  void HelpClick();
  // Every way of closing ends here. False, with the error reported, when
  // the autostart value cannot be written: the wizard then stays open.
  bool FormClose() override;

  QStackedWidget* Notebook1() const { return Notebook1_; }
  WizardBar* Bar() const { return bar_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* AddPage(const char* name);
  QLabel* Text(QWidget* page, const QString& text, int top, int height = 18);
  WrapRadioButton* Choice(QWidget* page, const char* name, const QString& caption, QRect geometry,
                          void (SetupWizard::*handler)());
  void BuildPages();
  void KilobitChoiceClick();
  void ProxyChoiceClick();
  void AutoloadChoiceClick();
  void StartChoiceClick();
  void SetProxyEditsEnabled(bool enabled);
  // The choices as the window resource has them, without writing a line.
  void ResetChoices();

  QStackedWidget* Notebook1_;
  WizardBar* bar_;
  WrapRadioButton* NormalBox = nullptr;
  WrapRadioButton* OnTopBox = nullptr;
  WrapRadioButton* RadioButton1 = nullptr;
  WrapRadioButton* RadioButton2 = nullptr;
  WrapRadioButton* RadioButton3 = nullptr;
  WrapRadioButton* RadioButton4 = nullptr;
  WrapRadioButton* RadioButton5 = nullptr;
  WrapRadioButton* RadioButton6 = nullptr;
  WrapRadioButton* RadioButton7 = nullptr;
  WrapRadioButton* RadioButton8 = nullptr;
  QLineEdit* ProxyName = nullptr;
  QLineEdit* ProxyPort = nullptr;
  QComboBox* InterfaceBox = nullptr;
};

}  // namespace velmar
