// The settings file loader on arbitrary bytes: loading, applying every line
// and saving must never crash, and what is saved must load back the same.
// A file of all the meter's lines (the older 44-line one too) is used as it
// is, never replaced by defaults; a shorter one is kept beside them. Every
// line the loader has no reason to change is written back byte for byte,
// the lines after 43 (which an older meter does not know) included, in
// whatever encoding they came. The metrics endpoint of line 44 means the
// same after the save, and an address it accepts is the one it names. The
// device source of lines 45..52 reads the same from the saved file, and
// choosing it again writes lines that read back as the same device.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "config/settings_loader.h"
#include "interfaces/remote_source.h"
#include "metrics/listen_address.h"
#include "metrics/metrics_server.h"

namespace {

class NullTarget : public velmar::SettingsTarget {
 public:
  void SetProgramSection(uint8_t) override {}
  void SetWindowSize(int, int) override {}
  QStringList BuildAdapterList() override { return {"All", "lo", "eth0"}; }
  void SetAdapterList(const QStringList&) override {}
  void SetKilobitMode(uint8_t) override {}
  void SetSpeedHints(const QString&, const QString&, const QString&, const QString&) override {}
  void SetAveragingMode(uint8_t m) override {
    if (m == 0)
      abort();  // the loader never stores mode 0
  }
  void SetTotalDisplay(int) override {}
  void SetStayOnTop(bool) override {}
  void SetAdapterIndex(int16_t) override {}
  void SetAdapterLabel(const QString&) override {}
  void SetProxy(const QString& h) override {
    if (h.size() > 255)
      abort();
  }
  void SetProxyPort(uint16_t) override {}
  void SetUrl(const QString& u) override {
    if (u.isEmpty())
      abort();
  }
  void SetWebPageAddress(const QString&) override {}
};

QTemporaryDir* dir = nullptr;

// The file's lines as bytes, split as the loader splits them.
QList<QByteArray> RawLines(const QByteArray& data) {
  QList<QByteArray> lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < data.size(); ++i) {
    if (data[i] == '\r' || data[i] == '\n') {
      lines << data.mid(start, i - start);
      if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') {
        ++i;
      }
      start = i + 1;
    }
  }
  if (start < data.size()) {
    lines << data.mid(start);
  }
  return lines;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    abort();
  }
  return f.readAll();
}

// Line 44 as the meter reads it: "" when off, the address, or "!" when
// the line names no address.
QString MetricsEndpoint(const velmar::SettingsList& list) {
  const QString text = list.Line(44).trimmed();
  if (text.isEmpty()) {
    return {};
  }
  try {
    const velmar::ListenAddress where = velmar::ListenAddress::Parse(text);
    for (const QChar c : where.address) {
      if (!c.isDigit() && !QStringView(u"abcdefABCDEF.:").contains(c)) {
        abort();  // something besides the address was taken for it
      }
    }
    const velmar::ListenAddress again = velmar::ListenAddress::Parse(where.Text());
    if (again.Text() != where.Text() || again.ipv6 != where.ipv6) {
      abort();
    }
    return where.Text();
  } catch (const velmar::MetricsError&) {
    return QStringLiteral("!");
  }
}

bool SameDevice(const velmar::RemoteSource& a, const velmar::RemoteSource& b) {
  return a.host == b.host && a.port == b.port && a.version == b.version && a.user == b.user &&
         a.securityLevel == b.securityLevel && a.authProtocol == b.authProtocol &&
         a.privProtocol == b.privProtocol;
}

// Lines 45..52 as the meter reads them: whether a device is chosen, and
// which.
void CheckDevice(const velmar::SettingsList& loaded, const velmar::SettingsList& saved) {
  using velmar::RemoteSource;
  const RemoteSource device = RemoteSource::FromSettings(loaded);
  if (device.port == 0 || (device.version != 2 && device.version != 3))
    abort();
  // The port asked is the one the line names, or the usual 161.
  if (device.port != 161 &&
      loaded.Line(velmar::SettingsLine::kDevicePort).trimmed().toInt() != device.port)
    abort();
  if (RemoteSource::Chosen(saved) != RemoteSource::Chosen(loaded) ||
      !SameDevice(RemoteSource::FromSettings(saved), device))
    abort();
  velmar::SettingsList chosen = loaded;
  device.ToSettings(chosen);
  if (!RemoteSource::Chosen(chosen) || !SameDevice(RemoteSource::FromSettings(chosen), device))
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (dir == nullptr) {
    static int argc = 1;
    static char name[] = "fuzz_settings";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    dir = new QTemporaryDir;
  }
  const QString path = dir->filePath("Velmarsettings.ini");
  QFile::remove(path + ".old");
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QList<QByteArray> before = RawLines(input);
  {
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  }
  velmar::SettingsList list;
  NullTarget target;
  velmar::SettingsLoader loader(list, target, nullptr, path, "/x", dir->filePath("e.desktop"));
  loader.LoadSettings(true);
  if (list.Count() < velmar::SettingsList::kLineCount)
    abort();
  const bool complete = before.size() >= velmar::SettingsList::kLineCount;
  if (complete == QFile::exists(path + ".old"))
    abort();  // a whole file replaced, or a short one lost
  if (!complete && ReadAll(path + ".old") != input)
    abort();
  // What SaveSettings writes whole (the syncing, tested with the atomic
  // file, would slow the fuzzing tenfold).
  {
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(velmar::SettingsLoader::Serialise(list));
  }
  velmar::SettingsList again;
  if (!again.LoadFromFile(path) || again.Lines() != list.Lines())
    abort();
  if (MetricsEndpoint(again) != MetricsEndpoint(list))
    abort();
  CheckDevice(list, again);
  if (complete) {
    const QList<QByteArray> after = RawLines(ReadAll(path));
    if (after.size() != before.size())
      abort();
    for (qsizetype n = 0; n < before.size(); ++n) {
      // Line 14 is the proxy switch, turned off for a proxy without a port.
      if (after[n] != before[n] && n != 14)
        abort();
    }
  }
  return 0;
}
