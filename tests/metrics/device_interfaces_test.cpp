#include "metrics/device_interfaces.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "metrics/device_list.h"

namespace velmar {
namespace {

using agent::RemoteObject;

RemoteObject Cell(bool ifX, uint32_t column, uint32_t index, uint8_t type, uint64_t number,
                  std::string bytes = {}) {
  RemoteObject o;
  o.name = ifX ? std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, column, index}
               : std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 2, 2, 1, column, index};
  o.type = type;
  o.number = number;
  o.bytes = std::move(bytes);
  return o;
}

constexpr uint8_t kString = 0x04, kInteger = 0x02, kCounter32 = 0x41, kGauge = 0x42,
                  kCounter64 = 0x46;

TEST(DeviceInterfacesTest, ColumnsIntoInterfaces) {
  using F = InterfaceFigures;
  // Port 3: ifName, both widths (the 64-bit one wins, before or after),
  // ifHighSpeed over ifSpeed. Port 7: ifDescr alone, 32-bit counters only,
  // ifSpeed. A cell of another table is ignored.
  const std::vector<RemoteObject> cells = {
      Cell(false, 10, 3, kCounter32, 17),
      Cell(true, 6, 3, kCounter64, 5000000000u),
      Cell(true, 10, 3, kCounter64, 6000000000u),
      Cell(false, 16, 3, kCounter32, 18),
      Cell(true, 1, 3, kString, 0, "xe-0/0/3"),
      Cell(false, 2, 3, kString, 0, "a long description"),
      Cell(true, 15, 3, kGauge, 40000),
      Cell(false, 5, 3, kGauge, 4294967295u),
      Cell(false, 8, 3, kInteger, 7),
      Cell(false, 2, 7, kString, 0,
           "eth\xff"
           "7"),
      Cell(false, 10, 7, kCounter32, 4294967295u),
      Cell(false, 5, 7, kGauge, 100000000),
      Cell(false, 4, 7, kInteger, 1500),
      Cell(false, 14, 7, kCounter32, 9),
      Cell(true, 3, 7, kCounter32, 2),
      Cell(false, 7, 3, kInteger, 2),
      RemoteObject{{1, 3, 6, 1, 2, 1, 4, 21, 1, 1, 7}, kInteger, 1, {}, {}},
  };
  const auto figures = DeviceInterfaces::Decode(cells);
  ASSERT_EQ(figures.size(), 2u);
  const F& p3 = figures[0];
  EXPECT_EQ(p3.index, 3);
  EXPECT_EQ(p3.name, "xe-0/0/3");
  EXPECT_EQ(p3.counters[F::kReceiveBytes], 5000000000u) << "the 64-bit counter, though later";
  EXPECT_EQ(p3.counters[F::kTransmitBytes], 6000000000u) << "the 64-bit counter, though earlier";
  EXPECT_EQ(p3.speedBitsPerSecond, 40000000000u);
  EXPECT_EQ(p3.operStatus, 7);
  EXPECT_EQ(p3.adminStatus, 2);
  EXPECT_FALSE(p3.mtu);
  const F& p7 = figures[1];
  EXPECT_EQ(p7.name, "eth\\xff7") << "bytes that are no UTF-8 escaped, as the adapter list does";
  EXPECT_EQ(p7.counters[F::kReceiveBytes], 4294967295u) << "a 32-bit counter as it is";
  EXPECT_EQ(p7.counters[F::kReceiveErrors], 9u);
  EXPECT_EQ(p7.counters[F::kReceiveBroadcast], 2u);
  EXPECT_FALSE(p7.counters[F::kTransmitBytes]);
  EXPECT_EQ(p7.speedBitsPerSecond, 100000000u);
  EXPECT_EQ(p7.mtu, 1500);

  using E = agent::FetchError;
  EXPECT_EQ(DeviceInterfaces::ReasonOf(E("No answer from x within 1000 ms", E::Kind::kAbsent)),
            "timeout");
  EXPECT_EQ(DeviceInterfaces::ReasonOf(E("Nothing listens for SNMP at x", E::Kind::kAbsent)),
            "unreachable");
  EXPECT_EQ(DeviceInterfaces::ReasonOf(E("The device at x refused the request: ...")), "refused");
  EXPECT_EQ(DeviceInterfaces::ReasonOf(E("The device at x answered out of order")), "error");
}

TEST(DeviceListTest, DevicesWithSecretsApart) {
  QTemporaryDir dir;
  const auto write = [&](const QString& name, const QByteArray& text, int mode = 0600) {
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    f.close();
    chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode));
    return path;
  };
  write("v2.secrets", "community=c0mm\n");
  write("v3.secrets", "auth=authpassphrase\npriv=privpassphrase\n");
  const QString good = write("devices",
                             "# fleet\n\nname=a address=192.0.2.1 version=2c secrets=v2.secrets\n"
                             "name=b  address=[2001:db8::1]:1161 version=3 user=meter "
                             "auth=SHA-256 secrets=v3.secrets\n");
  const auto devices = ReadDeviceList(good);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].name, "a");
  EXPECT_EQ(devices[0].settings.community, "c0mm");
  EXPECT_EQ(devices[0].settings.port, 161);
  EXPECT_EQ(devices[1].settings.host, "2001:db8::1");
  EXPECT_EQ(devices[1].settings.port, 1161);
  EXPECT_EQ(devices[1].settings.version, 3);
  EXPECT_EQ(devices[1].settings.authProtocol, "SHA-256");
  EXPECT_EQ(devices[1].settings.privPassphrase, "privpassphrase");

  write("loose.secrets", "community=x\n", 0644);
  const std::pair<QByteArray, const char*> bad[] = {
      {"name=a address=192.0.2.1 version=2c community=c secrets=v2.secrets\n",
       "line 1: secrets do not belong in the devices file"},
      {"name=a address=192.0.2.1 colour=red secrets=v2.secrets\n", "unknown field \"colour\""},
      {"name=a address=192.0.2.1 version=4 secrets=v2.secrets\n", "line 1:"},
      {"name=a address=192.0.2.1\n", "needs secrets=FILE"},
      {"name=a address=192.0.2.1 version=3 secrets=v3.secrets\n", "user"},
      {"name=a address=192.0.2.1 secrets=loose.secrets\n", "mode 0600"},
      {"# a\nname=a address=192.0.2.1 secrets=v2.secrets\nname=a address=192.0.2.2 "
       "secrets=v2.secrets\n",
       "line 3: the name a is given twice"},
      {"# nothing\n", "names no device"},
  };
  for (const auto& [text, expected] : bad) {
    try {
      ReadDeviceList(write("bad", text));
      ADD_FAILURE() << text.constData();
    } catch (const MetricsError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(ReadDeviceList(dir.filePath("none")), MetricsError);
}

}  // namespace
}  // namespace velmar
