#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include "shell/widgets/setup_dialogs.h"

namespace velmar {

class SetupHost;

// A titled group of exclusive choices laid out in columns; one of them is
// always selected (the first until told otherwise).
class RadioGroup : public QGroupBox {
 public:
  // The buttons are named `name` followed by their index.
  RadioGroup(const char* name, const QString& title, const QStringList& items, int columns,
             QWidget* parent);

  int ItemIndex() const { return group_.checkedId(); }
  // Raises std::out_of_range for an index the group does not have, and
  // then keeps its selection.
  void SetItemIndex(int index);
  QList<QRadioButton*> Buttons() const { return buttons_; }

 private:
  QButtonGroup group_;
  QList<QRadioButton*> buttons_;
};

// The detailed setup: every option on one screen. Edits go into the
// settings lines as they are made; the kilobit and averaging modes, the
// proxy, the autostart value, the URL and the window style reach the
// running meter when the window closes, however it closes.
class DetailedSetup : public SingleSetupDialog<DetailedSetup> {
 public:
  static const QString kCaption;
  static constexpr QSize kSize{556, 439};

  explicit DetailedSetup(SetupHost& host, QWidget* parent = nullptr);
  // The "Settings" tab's button: see Open.
  static void OpenSetup(SetupHost& host, QWidget* parent) { Open(host, parent); }

  // Handlers.
  // Shows the settings lines in the controls (when the window opens, and
  // after "Revert settings").
  void ShowSettings();
  void StoreInterfaceChoice();
  void StoreProxyHost();
  void StoreProxyPort();
  void StoreProxyUse();
  void RevertSettings();  // "Revert settings"
  void ChooseSource();    // "Source...": this computer or a device on the network
  void CloseWindow();     // "Close"
  // Every way of closing ends here, steps 1 to 7. False, with the error
  // reported and the steps before it kept, when the autostart value cannot
  // be written: the window then stays open.
  bool ApplyBeforeClose() override;

 protected:
  void LoadControls() override { ShowSettings(); }

 private:
  // The controls from top to bottom, in the order Tab goes through them:
  // the picture, interface and URL; the two mode groups; the proxy; the
  // start-up boxes; the buttons.
  void BuildSourceRows();
  void BuildModeGroups();
  void BuildProxyRows();
  void BuildStartBoxes();
  void BuildButtons();
  QLabel* Caption(const QString& text, QRect geometry);
  QCheckBox* Check(const char* name, const QString& text, QRect geometry);
  void SetProxyControlsEnabled(bool enabled);

  QComboBox* interfaceBox_;
  RadioGroup* kilobitModeGroup_;
  RadioGroup* averagingModeGroup_;
  QLineEdit* urlEdit_;
  QCheckBox* useProxyBox_;
  QLabel* proxyHostLabel_;
  QLineEdit* proxyHostEdit_;
  QLabel* proxyPortLabel_;
  QLineEdit* proxyPortEdit_;
  QCheckBox* autostartBox_;
  QCheckBox* startActiveBox_;
  QCheckBox* stayOnTopBox_;
  QCheckBox* programHistoryBox_;
  QPushButton* revertButton_;
  QPushButton* sourceButton_;
  QPushButton* closeButton_;
};

}  // namespace velmar
