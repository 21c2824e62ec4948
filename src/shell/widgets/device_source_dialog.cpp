#include "shell/widgets/device_source_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QVBoxLayout>

#include "config/settings_list.h"
#include "interfaces/remote_source.h"
#include "platform/key_store.h"
#include "shell/setup_host.h"

namespace velmar {

const QString DeviceSourceDialog::kCaption = QStringLiteral("Velmar Measuring Source");

namespace {

QGridLayout* GridOf(QDialog* dialog) {
  return static_cast<QGridLayout*>(dialog->layout()->itemAt(2)->layout());
}

}  // namespace

DeviceSourceDialog::DeviceSourceDialog(SetupHost& host, KeyStore* store, QWidget* parent)
    : QDialog(parent), host_(host), store_(store) {
  setObjectName(QStringLiteral("deviceSource"));
  setWindowTitle(kCaption);
  auto* column = new QVBoxLayout(this);
  thisComputer_ = new QRadioButton(QStringLiteral("This computer"), this);
  thisComputer_->setObjectName(QStringLiteral("ThisComputer"));
  device_ = new QRadioButton(
      QStringLiteral("A device on the network (a router, a switch), over SNMP"), this);
  device_->setObjectName(QStringLiteral("NetworkDevice"));
  column->addWidget(thisComputer_);
  column->addWidget(device_);
  column->addLayout(new QGridLayout);

  address_ = Field("DeviceAddress", QStringLiteral("Address (host or host:port):"), 0);
  version_ = Choice("SnmpVersion", QStringLiteral("SNMP version:"), 1,
                    {QStringLiteral("2c"), QStringLiteral("3")});
  community_ = Field("Community", QStringLiteral("Community:"), 2, true);
  user_ = Field("SnmpUser", QStringLiteral("User:"), 3);
  level_ = Choice(
      "SecurityLevel", QStringLiteral("Security level:"), 4,
      {QStringLiteral("authPriv"), QStringLiteral("authNoPriv"), QStringLiteral("noAuthNoPriv")});
  auth_ = Choice("AuthProtocol", QStringLiteral("Authentication:"), 5,
                 {QStringLiteral("SHA"), QStringLiteral("SHA-224"), QStringLiteral("SHA-256"),
                  QStringLiteral("SHA-384"), QStringLiteral("SHA-512"), QStringLiteral("MD5")});
  authPassphrase_ = Field("AuthPassphrase", QStringLiteral("Authentication passphrase:"), 6, true);
  priv_ = Choice("PrivProtocol", QStringLiteral("Privacy:"), 7,
                 {QStringLiteral("AES"), QStringLiteral("AES-192"), QStringLiteral("AES-256"),
                  QStringLiteral("DES")});
  // Older devices know MD5 and DES alone: offered, and marked as weak
  // (the item shows it; the stored value stays the protocol's name).
  for (QComboBox* box : {auth_, priv_}) {
    const int weak = box->count() - 1;
    box->setItemText(weak, box->itemText(weak) + QStringLiteral(" (weak)"));
    box->setItemData(weak, QStringLiteral("Weak: anyone who records the traffic can break it."),
                     Qt::ToolTipRole);
  }
  privPassphrase_ = Field("PrivPassphrase", QStringLiteral("Privacy passphrase:"), 8, true);
  v2Fields_ = {community_};
  v3Fields_ = {user_, level_, auth_, authPassphrase_, priv_, privPassphrase_};

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
  column->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (Apply()) {
      accept();
    }
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(device_, &QRadioButton::toggled, this, [this] { UpdateEnabled(); });
  connect(version_, &QComboBox::currentIndexChanged, this, [this] { UpdateEnabled(); });
  ShowSource();
}

QLineEdit* DeviceSourceDialog::Field(const char* name, const QString& caption, int row,
                                     bool secret) {
  auto* label = new QLabel(caption, this);
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::fromLatin1(name));
  if (secret) {
    edit->setEchoMode(QLineEdit::Password);
  }
  label->setBuddy(edit);
  GridOf(this)->addWidget(label, row, 0);
  GridOf(this)->addWidget(edit, row, 1);
  deviceFields_ << label << edit;
  return edit;
}

QComboBox* DeviceSourceDialog::Choice(const char* name, const QString& caption, int row,
                                      const QStringList& items) {
  auto* label = new QLabel(caption, this);
  auto* box = new QComboBox(this);
  box->setObjectName(QString::fromLatin1(name));
  box->addItems(items);
  label->setBuddy(box);
  GridOf(this)->addWidget(label, row, 0);
  GridOf(this)->addWidget(box, row, 1);
  deviceFields_ << label << box;
  return box;
}

namespace {

// The protocol an item names: its text without the weak mark.
QString ProtocolName(const QComboBox& box) {
  return box.currentText().section(QLatin1Char(' '), 0, 0);
}

int ProtocolRow(const QComboBox& box, const QString& protocol) {
  for (int i = 0; i < box.count(); ++i) {
    if (box.itemText(i).section(QLatin1Char(' '), 0, 0) == protocol) {
      return i;
    }
  }
  return 0;
}

}  // namespace

void DeviceSourceDialog::UpdateEnabled() {
  const bool device = device_->isChecked();
  for (QWidget* w : deviceFields_) {
    w->setEnabled(device);
  }
  const bool v3 = version_->currentIndex() == 1;
  for (QWidget* w : v2Fields_) {
    w->setEnabled(device && !v3);
  }
  for (QWidget* w : v3Fields_) {
    w->setEnabled(device && v3);
  }
}

void DeviceSourceDialog::ShowSource() {
  const SettingsList& settings = host_.Settings();
  RemoteSource source = RemoteSource::FromSettings(settings);
  if (store_ != nullptr) {
    try {
      source.LoadSecrets(*store_);
    } catch (const std::exception&) {
      // Unreadable secrets show as empty fields, to be typed again.
    }
  }
  (RemoteSource::Chosen(settings) ? device_ : thisComputer_)->setChecked(true);
  address_->setText(source.host.isEmpty() ? QString() : source.Address());
  version_->setCurrentIndex(source.version == 3 ? 1 : 0);
  community_->setText(source.community);
  user_->setText(source.user);
  level_->setCurrentText(source.securityLevel);
  auth_->setCurrentIndex(ProtocolRow(*auth_, source.authProtocol));
  authPassphrase_->setText(source.authPassphrase);
  priv_->setCurrentIndex(ProtocolRow(*priv_, source.privProtocol));
  privPassphrase_->setText(source.privPassphrase);
  UpdateEnabled();
}

bool DeviceSourceDialog::Apply() {
  SettingsList& settings = host_.Settings();
  try {
    if (thisComputer_->isChecked()) {
      RemoteSource::ChooseLocal(settings);
    } else {
      RemoteSource source;
      source.SetAddress(address_->text());
      source.version = version_->currentIndex() == 1 ? 3 : 2;
      source.community = community_->text();
      source.user = user_->text().trimmed();
      source.securityLevel = level_->currentText();
      source.authProtocol = ProtocolName(*auth_);
      source.authPassphrase = authPassphrase_->text();
      source.privProtocol = ProtocolName(*priv_);
      source.privPassphrase = privPassphrase_->text();
      source.CheckComplete();
      if (store_ == nullptr) {
        throw Exception(
            QStringLiteral("The key store is not available: the device's secrets "
                           "cannot be kept."));
      }
      source.SaveSecrets(*store_);
      source.ToSettings(settings);
    }
  } catch (const std::exception& error) {
    host_.ReportError(error);
    return false;
  }
  host_.ChangeSource();
  return true;
}

}  // namespace velmar
