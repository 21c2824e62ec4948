// Arbitrary bytes as a hive to restore, and as the key store's own database
// file: a bad file is refused, never half-applied, and never crashes.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "platform/key_store.h"
#include "platform/registry.h"

namespace {

QString Dump(velmar::KeyStore& store) {
  QString out;
  velmar::Registry reg(store);
  reg.SetRootKey(velmar::KeyRoot::kMachine);
  std::function<void(const QString&)> walk = [&](const QString& path) {
    if (!reg.OpenKey(path, false))
      return;
    out += path + ";";
    for (const QString& v : reg.GetValueNames())
      out += v + ",";
    for (const QString& k : reg.GetKeyNames())
      walk(path + "\\" + k);
  };
  walk("\\Software\\Tollera Works\\Velmar2000\\History");
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QCoreApplication* app = nullptr;
  if (app == nullptr) {
    static int argc = 1;
    static char name[] = "fuzz_hive";
    static char* argv[] = {name, nullptr};
    app = new QCoreApplication(argc, argv);
  }
  QTemporaryDir dir;
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  {
    velmar::KeyStore store(dir.filePath("registry.db"));
    velmar::Registry reg(store);
    reg.SetRootKey(velmar::KeyRoot::kMachine);
    reg.OpenKey("\\Software\\Tollera Works\\Velmar2000\\History\\08.12.2026", true);
    reg.WriteInteger("HighWater", 1);
    reg.WriteBinaryData("Timestamp_1", QByteArray(8, '\1'));
    const QString before = Dump(store);
    QFile hive(dir.filePath("h.reg"));
    hive.open(QIODevice::WriteOnly);
    hive.write(bytes);
    hive.close();
    try {
      store.RestoreKey(velmar::KeyRoot::kMachine, "\\Software\\Tollera Works\\Velmar2000\\History",
                       hive.fileName());
      Dump(store);  // a restored tree must read back
    } catch (const velmar::Exception&) {
      if (Dump(store) != before)
        abort();  // refused means unchanged
    }
  }
  // The same bytes as the store's own database file.
  const QString db = dir.filePath("corrupt.db");
  {
    QFile f(db);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
  }
  try {
    velmar::KeyStore store(db);
    Dump(store);
  } catch (const velmar::Exception&) {
  }
  return 0;
}
