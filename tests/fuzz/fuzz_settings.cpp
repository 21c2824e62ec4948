// The settings file loader on arbitrary bytes: loading, applying every line
// and saving must never crash, and what is saved must load back the same.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "settings_loader.h"

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
  loader.SaveSettings();
  velmar::SettingsList again;
  if (!again.LoadFromFile(path) || again.Lines() != list.Lines())
    abort();
  return 0;
}
