// Where the meter keeps a device's settings and secrets, and how it reads
// a device's address.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include "config/settings_list.h"
#include "interfaces/remote_source.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

TEST(RemoteSource, AddressesWithAndWithoutPortsAndTheirMistakes) {
  RemoteSource s;
  s.SetAddress(QStringLiteral("router.lan"));
  EXPECT_EQ(s.Address(), QStringLiteral("router.lan:161"));
  s.SetAddress(QStringLiteral(" 192.168.1.1:1161 "));
  EXPECT_EQ(s.host, QStringLiteral("192.168.1.1"));
  EXPECT_EQ(s.port, 1161);
  s.SetAddress(QStringLiteral("fe80::1"));
  EXPECT_EQ(s.Address(), QStringLiteral("[fe80::1]:161"));
  s.SetAddress(QStringLiteral("[::1]:16161"));
  EXPECT_EQ(s.host, QStringLiteral("::1"));
  EXPECT_EQ(s.port, 16161);
  for (const char* bad :
       {"", ":161", "host:", "host:0", "host:65536", "host:x", "[::1", "[::1]x", "a b"}) {
    EXPECT_THROW(s.SetAddress(QString::fromLatin1(bad)), Exception) << bad;
  }
  EXPECT_EQ(s.host, QStringLiteral("::1"));  // a refused address changes nothing
  EXPECT_THROW(s.SetVersion(QStringLiteral("1")), Exception);
}

TEST(RemoteSource, AnOlderFileGainsTheLinesAndKeepsEveryOther) {
  // A file of the 44 core lines: it chooses this computer.
  SettingsList settings;
  settings.SetLines(SettingsList::DefaultLines());
  ASSERT_EQ(settings.Count(), SettingsList::kLineCount);
  settings.SetLine(13, QStringLiteral("2"));
  EXPECT_FALSE(RemoteSource::Chosen(settings));
  EXPECT_EQ(RemoteSource::FromSettings(settings).port, 161);

  RemoteSource device;
  device.SetAddress(QStringLiteral("10.0.0.1:1161"));
  device.version = 3;
  device.user = QStringLiteral("meter");
  device.authProtocol = QStringLiteral("SHA-256");
  device.privProtocol = QStringLiteral("AES-256");
  device.securityLevel = QStringLiteral("authNoPriv");
  device.community = QStringLiteral("never-in-the-file");
  device.ToSettings(settings);
  EXPECT_EQ(settings.Count(), static_cast<int>(SettingsLine::kDeviceSecurityLevel) + 1);
  EXPECT_EQ(settings.Line(13), QStringLiteral("2"));
  EXPECT_EQ(settings.Line(44), QString());  // the line between, at its default
  EXPECT_FALSE(settings.Lines().join(QStringLiteral("\n")).contains(QStringLiteral("never")));
  ASSERT_TRUE(RemoteSource::Chosen(settings));
  const RemoteSource back = RemoteSource::FromSettings(settings);
  EXPECT_EQ(back.Address(), QStringLiteral("10.0.0.1:1161"));
  EXPECT_EQ(back.version, 3);
  EXPECT_EQ(back.user, QStringLiteral("meter"));
  EXPECT_EQ(back.authProtocol, QStringLiteral("SHA-256"));
  EXPECT_EQ(back.privProtocol, QStringLiteral("AES-256"));
  EXPECT_EQ(back.securityLevel, QStringLiteral("authNoPriv"));

  RemoteSource::ChooseLocal(settings);
  EXPECT_FALSE(RemoteSource::Chosen(settings));
  EXPECT_EQ(settings.Line(SettingsLine::kDeviceHost), QStringLiteral("10.0.0.1"));
}

TEST(RemoteSource, SecretsStayWithTheirOwner) {
  test::TempStore temp;
  RemoteSource source;
  source.community = QStringLiteral("c-secret");
  source.authPassphrase = QStringLiteral("a-secret-1234");
  source.privPassphrase = QStringLiteral("p-secret-1234");
  QFile::setPermissions(temp.store->Path(),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
  source.SaveSecrets(*temp.store);
  struct stat status {};
  ASSERT_EQ(stat(QFile::encodeName(temp.store->Path()).constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  RemoteSource loaded;
  loaded.LoadSecrets(*temp.store);
  EXPECT_EQ(loaded.community, source.community);
  EXPECT_EQ(loaded.authPassphrase, source.authPassphrase);
  EXPECT_EQ(loaded.privPassphrase, source.privPassphrase);

  const QString file = temp.dir.filePath(QStringLiteral("secrets"));
  QFile out(file);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write("# the router\ncommunity=pub=lic\r\nauth=a-file-secret\n\npriv=p-file-secret\n");
  out.close();
  QFile::setPermissions(file,
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
  RemoteSource fromFile;
  EXPECT_THROW(fromFile.LoadSecretsFile(file), Exception);
  EXPECT_TRUE(fromFile.community.isEmpty());
  QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  fromFile.LoadSecretsFile(file);
  EXPECT_EQ(fromFile.community, QStringLiteral("pub=lic"));
  EXPECT_EQ(fromFile.authPassphrase, QStringLiteral("a-file-secret"));
  EXPECT_EQ(fromFile.privPassphrase, QStringLiteral("p-file-secret"));

  // A line the reader does not know is refused without repeating it.
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write("password=hunter2-secret\n");
  out.close();
  try {
    fromFile.LoadSecretsFile(file);
    ADD_FAILURE() << "an unknown line was accepted";
  } catch (const Exception& e) {
    EXPECT_FALSE(e.Message().contains(QStringLiteral("hunter2"))) << e.what();
    EXPECT_TRUE(e.Message().contains(QStringLiteral("Line 1"))) << e.what();
  }
}

}  // namespace
}  // namespace velmar
