// Writes the seed corpora: a default settings file and variants, a sound
// hive of a small history, and scripted agent answers of whole walks.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "key_store.h"
#include "registry.h"
#include "settings_loader.h"

namespace {

void Write(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(bytes);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QString out = argc > 1 ? argv[1] : "corpus";
  QDir().mkpath(out + "/settings");
  QDir().mkpath(out + "/hive");
  QDir().mkpath(out + "/walk");

  velmar::SettingsList list;
  list.SetLines(velmar::SettingsList::DefaultLines());
  Write(out + "/settings/default.ini", velmar::SettingsLoader::Serialise(list));
  list.SetLine(14, "1");
  list.SetLine(8, "proxy.lan");
  list.SetLine(9, "3128");
  list.SetLine(13, "2");
  Write(out + "/settings/proxy.ini", velmar::SettingsLoader::Serialise(list));
  Write(out + "/settings/short.ini", "Velmar\r\n0\r\n1\r\n");

  QTemporaryDir dir;
  velmar::KeyStore store(dir.filePath("r.db"));
  velmar::Registry reg(store);
  reg.SetRootKey(velmar::HKEY_LOCAL_MACHINE);
  reg.OpenKey("\\Software\\Tollera Works\\Velmar2000\\History\\07.12.2026", true);
  reg.WriteInteger("HighWater", 1);
  reg.WriteBinaryData("Timestamp_1", QByteArray(8, '\x40'));
  reg.WriteInteger("AvgDownSpeed_1", 1000);
  reg.OpenKey("Alarms", true);
  reg.WriteString("07.12.2026 10:00:00", "1");
  reg.CloseKey();
  QFile::remove(out + "/hive/history.reg");
  store.SaveKey(velmar::HKEY_LOCAL_MACHINE, "\\Software\\Tollera Works\\Velmar2000\\History",
                out + "/hive/history.reg");

  // Walks: kind byte, then answers (type index, payload). An interface
  // table of one row, a TCP table of one row, a route table of one row.
  QByteArray iface("\x02", 1);
  const auto num = [](QByteArray& b, uint8_t type, uint32_t v) {
    b += char(type);
    for (int k = 3; k >= 0; --k)
      b += char((v >> (8 * k)) & 0xFF);
  };
  num(iface, 0, 2);
  iface += char(1);
  iface += char(4);
  iface += "eth0";
  for (int c = 3; c <= 21; ++c)
    num(iface, c == 5 || c == 21 ? 6 : (c >= 9 ? 5 : 0), 100u * c);
  num(iface, 3, 0);
  Write(out + "/walk/interfaces.bin", iface);
  QByteArray tcp("\x01", 1);
  num(tcp, 0, 5);
  tcp += char(4);
  tcp += char(4);
  tcp += QByteArray("\x7f\x00\x00\x01", 4);
  num(tcp, 0, 80);
  tcp += char(4);
  tcp += char(4);
  tcp += QByteArray("\x0a\x00\x00\x02", 4);
  num(tcp, 0, 5000);
  num(tcp, 5, 0);
  Write(out + "/walk/tcp.bin", tcp);
  QByteArray route("\x03", 1);
  route += char(4);
  route += char(4);
  route += QByteArray("\x00\x00\x00\x00", 4);
  num(route, 0, 2);
  num(route, 0, 0);
  Write(out + "/walk/routes.bin", route);
  return 0;
}
