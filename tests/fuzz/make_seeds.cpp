// Writes the seed corpora: a default settings file and variants (the older
// 44-line file, one with the metrics endpoint and report lines, routers
// read over SNMP), a sound hive of a small history, scripted agent answers
// of whole walks, report profiles as the wizard saves them, the report
// command lines of the manual, and the requests scrapers send to the
// metrics endpoint.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "config/settings_loader.h"
#include "interfaces/remote_source.h"
#include "platform/key_store.h"
#include "platform/registry.h"
#include "report/profile_store.h"

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
  // A file of today's meter: the metrics endpoint, the remote source's
  // lines and the report lines after the older 44.
  QStringList lines = velmar::SettingsList::DefaultLines();
  lines << "127.0.0.1:9473";
  for (int n = 45; n <= 55; ++n) {
    lines << "";
  }
  lines[45] = "0";
  list.SetLines(lines);
  Write(out + "/settings/metrics.ini", velmar::SettingsLoader::Serialise(list));
  lines[44] = "[::1]:9473";
  lines[53] = "Home";
  list.SetLines(lines);
  Write(out + "/settings/ipv6.ini", velmar::SettingsLoader::Serialise(list) + "\xe9t\xe9\r\n");
  // A router read over SNMPv2c, then over v3 at an IPv6 address.
  list.SetLines(lines);
  velmar::RemoteSource router;
  router.SetAddress("192.0.2.1:1161");
  router.ToSettings(list);
  Write(out + "/settings/device.ini", velmar::SettingsLoader::Serialise(list));
  router.SetAddress("2001:db8::1");
  router.version = 3;
  router.user = "meter";
  router.ToSettings(list);
  Write(out + "/settings/device_v3.ini", velmar::SettingsLoader::Serialise(list));

  QDir().mkpath(out + "/profile");
  velmar::ReportProfile home;
  Write(out + "/profile/default.json", home.ToJson());
  home.period =
      velmar::ReportPeriod{velmar::PeriodKind::kRange, QDate(2026, 12, 1), QDate(2026, 12, 31)};
  home.grouping = velmar::Grouping::kWeek;
  home.values = velmar::kDownVolume | velmar::kUpVolume | velmar::kAlarmEvents;
  home.formats = velmar::kCsvFormat;
  Write(out + "/profile/range.json", home.ToJson());
  home.period = velmar::ReportPeriod{velmar::PeriodKind::kThisMonth, {}, {}};
  home.quota = velmar::Quota{50000000000ull, 15, velmar::QuotaCounts::kDown};
  home.grouping = velmar::Grouping::kFiveMinutes;
  Write(out + "/profile/quota.json", home.ToJson());

  // Report command lines: 8 bytes for the moment and the history, then
  // one argument a line.
  QDir().mkpath(out + "/report");
  const QByteArray control("\x10\x0e\x40\x42\x0f\x07\x2a\x30", 8);
  Write(out + "/report/profile", control + "monthly");
  Write(out + "/report/profile_csv", control + "week\n--format\ncsv\n--output\nhome.csv");
  Write(out + "/report/last_month", control + "--period\nlast-month\n--group\nday\n--format\njson");
  Write(out + "/report/range",
        control + "--from\n2026-12-01\n--to\n2026-12-31\n--group\nweek\n--format\nhtml");
  Write(out + "/report/quota", control +
                                   "--period\nthis-month\n--quota\n50GB\n--quota-start\n15\n"
                                   "--values\ntotal,active");
  Write(out + "/report/five_minutes",
        QByteArray("\0\0\0\0\0\1\2\77", 8) + "--period=today\n--group=5min");

  // Requests to the metrics endpoint: a control byte (piece size, idle
  // connections), then the bytes of one connection.
  QDir().mkpath(out + "/http_request");
  Write(out + "/http_request/prometheus",
        "\x47GET /metrics HTTP/1.1\r\nHost: 127.0.0.1:9473\r\nUser-Agent: Prometheus/2.45.3\r\n"
        "Accept: application/openmetrics-text;version=1.0.0,application/openmetrics-text;"
        "version=0.0.1;q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1\r\n"
        "Accept-Encoding: gzip\r\nX-Prometheus-Scrape-Timeout-Seconds: 10\r\n\r\n");
  Write(out + "/http_request/curl",
        "\x81GET /metrics HTTP/1.1\r\nHost: localhost:9473\r\nUser-Agent: curl/7.88.1\r\n"
        "Accept: */*\r\n\r\nGET /other HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
  Write(out + "/http_request/post",
        "\xc3POST /metrics HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\nhello");
  Write(out + "/http_request/old",
        "\x05GET /metrics HTTP/1.0\r\nConnection: keep-alive\r\n\r\nHEAD /metrics HTTP/1.0\r\n\r\n"
        "GET /metrics HTTP/2.0\r\n\r\n");

  QTemporaryDir dir;
  velmar::KeyStore store(dir.filePath("r.db"));
  velmar::Registry reg(store);
  reg.SetRootKey(velmar::KeyRoot::kMachine);
  reg.OpenKey("\\Software\\Tollera Works\\Velmar2000\\History\\07.12.2026", true);
  reg.WriteInteger("HighWater", 1);
  reg.WriteBinaryData("Timestamp_1", QByteArray(8, '\x40'));
  reg.WriteInteger("AvgDownSpeed_1", 1000);
  reg.OpenKey("Alarms", true);
  reg.WriteString("07.12.2026 10:00:00", "1");
  reg.CloseKey();
  QFile::remove(out + "/hive/history.reg");
  store.SaveKey(velmar::KeyRoot::kMachine, "\\Software\\Tollera Works\\Velmar2000\\History",
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
