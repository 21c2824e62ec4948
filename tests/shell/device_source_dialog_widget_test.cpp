// The source dialog of the detailed setup: a device's settings go to the
// settings lines, its secrets to the key store, and the meter is switched.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "interfaces/remote_source.h"
#include "shell/setup_test_host.h"
#include "shell/widgets/device_source_dialog.h"

namespace velmar {
namespace {

class SourceHost : public test::SetupTestHost {
 public:
  void ChangeSource() override { ++changes; }
  int changes = 0;
};

TEST(DeviceSourceDialog, StoresTheDeviceAndItsSecretsApartAndRefusesWhatCannotWork) {
  SourceHost host;
  host.Start();
  test::TempStore secrets;
  DeviceSourceDialog dialog(host, secrets.store.get());
  const auto child = [&dialog](const char* name) {
    return dialog.findChild<QWidget*>(QString::fromLatin1(name));
  };
  auto* address = static_cast<QLineEdit*>(child("DeviceAddress"));
  ASSERT_NE(address, nullptr);
  // An older file chooses this computer; the device's fields wait.
  EXPECT_TRUE(static_cast<QRadioButton*>(child("ThisComputer"))->isChecked());
  EXPECT_FALSE(address->isEnabled());

  static_cast<QRadioButton*>(child("NetworkDevice"))->setChecked(true);
  static_cast<QComboBox*>(child("SnmpVersion"))->setCurrentIndex(1);
  EXPECT_FALSE(child("Community")->isEnabled());
  EXPECT_TRUE(child("SnmpUser")->isEnabled());
  address->setText(QStringLiteral("192.168.1.1:99999"));
  static_cast<QLineEdit*>(child("SnmpUser"))->setText(QStringLiteral("meter"));
  static_cast<QComboBox*>(child("AuthProtocol"))->setCurrentText(QStringLiteral("SHA-256"));
  static_cast<QLineEdit*>(child("AuthPassphrase"))->setText(QStringLiteral("auth-pass-1234"));
  static_cast<QLineEdit*>(child("PrivPassphrase"))->setText(QStringLiteral("priv-pass-1234"));
  EXPECT_EQ(static_cast<QLineEdit*>(child("PrivPassphrase"))->echoMode(), QLineEdit::Password);

  // A port out of range: reported, and nothing changes.
  EXPECT_FALSE(dialog.Apply());
  ASSERT_EQ(host.errors.size(), 1);
  EXPECT_FALSE(RemoteSource::Chosen(host.Settings()));
  EXPECT_EQ(host.changes, 0);

  address->setText(QStringLiteral("192.168.1.1"));
  ASSERT_TRUE(dialog.Apply());
  EXPECT_EQ(host.changes, 1);
  const SettingsList& settings = host.Settings();
  ASSERT_TRUE(RemoteSource::Chosen(settings));
  EXPECT_EQ(settings.Line(SettingsLine::kDeviceHost), QStringLiteral("192.168.1.1"));
  EXPECT_EQ(settings.Line(SettingsLine::kDeviceVersion), QStringLiteral("3"));
  EXPECT_EQ(settings.Line(SettingsLine::kDeviceAuthProtocol), QStringLiteral("SHA-256"));
  EXPECT_FALSE(settings.Lines().join(QLatin1Char('\n')).contains(QStringLiteral("pass-1234")));
  RemoteSource stored;
  stored.LoadSecrets(*secrets.store);
  EXPECT_EQ(stored.authPassphrase, QStringLiteral("auth-pass-1234"));
  EXPECT_EQ(stored.privPassphrase, QStringLiteral("priv-pass-1234"));

  // Shown again as stored; back to this computer keeps the device's lines.
  DeviceSourceDialog again(host, secrets.store.get());
  EXPECT_TRUE(again.findChild<QRadioButton*>(QStringLiteral("NetworkDevice"))->isChecked());
  EXPECT_EQ(again.findChild<QLineEdit*>(QStringLiteral("DeviceAddress"))->text(),
            QStringLiteral("192.168.1.1:161"));
  EXPECT_EQ(again.findChild<QLineEdit*>(QStringLiteral("AuthPassphrase"))->text(),
            QStringLiteral("auth-pass-1234"));
  again.findChild<QRadioButton*>(QStringLiteral("ThisComputer"))->setChecked(true);
  ASSERT_TRUE(again.Apply());
  EXPECT_FALSE(RemoteSource::Chosen(host.Settings()));
  EXPECT_EQ(host.Settings().Line(SettingsLine::kDeviceHost), QStringLiteral("192.168.1.1"));
  EXPECT_EQ(host.changes, 2);

  // Without a key store the secrets have nowhere to go: refused.
  DeviceSourceDialog storeless(host, nullptr);
  storeless.findChild<QRadioButton*>(QStringLiteral("NetworkDevice"))->setChecked(true);
  storeless.findChild<QLineEdit*>(QStringLiteral("DeviceAddress"))->setText(QStringLiteral("r1"));
  EXPECT_FALSE(storeless.Apply());
  EXPECT_FALSE(RemoteSource::Chosen(host.Settings()));
}

}  // namespace
}  // namespace velmar
