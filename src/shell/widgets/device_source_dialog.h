#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace velmar {

class KeyStore;
class SetupHost;

// Where the meter reads its counters: this computer, or a device on the
// network (a router's WAN port, a managed switch) over SNMP. The device's
// address and SNMP settings go into the settings lines, its secrets into
// the key store; the running meter then switches to it.
class DeviceSourceDialog : public QDialog {
 public:
  static const QString kCaption;

  DeviceSourceDialog(SetupHost& host, KeyStore* store, QWidget* parent = nullptr);

  // Shows what the settings and the store hold.
  void ShowSource();
  // "OK": stores the choice and switches the meter to it. False, with the
  // reason reported and nothing stored, when a field cannot be used.
  bool Apply();

 private:
  void UpdateEnabled();
  QLineEdit* Field(const char* name, const QString& caption, int row, bool secret = false);
  QComboBox* Choice(const char* name, const QString& caption, int row, const QStringList& items);

  SetupHost& host_;
  KeyStore* store_;
  QRadioButton* thisComputer_;
  QRadioButton* device_;
  QLineEdit* address_;
  QComboBox* version_;
  QLineEdit* community_;
  QLineEdit* user_;
  QComboBox* level_;
  QComboBox* auth_;
  QLineEdit* authPassphrase_;
  QComboBox* priv_;
  QLineEdit* privPassphrase_;
  QList<QWidget*> deviceFields_;
  QList<QWidget*> v2Fields_;
  QList<QWidget*> v3Fields_;
};

}  // namespace velmar
