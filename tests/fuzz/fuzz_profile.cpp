// The report profile loader on arbitrary bytes, as a profile file a person
// edited by hand. A file either fails with a profile error or loads to a
// valid profile; a profile that loads saves back to the same meaning: the
// saved file loads to an equal profile, and saving that again writes the
// very same bytes. The first line of the input, tried as a profile's name,
// is refused or names a folder right inside the profiles folder.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "report/profile_store.h"

using namespace velmar;

namespace {

QTemporaryDir* dir = nullptr;
ProfileStore* store = nullptr;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (dir == nullptr) {
    static int argc = 1;
    static char name[] = "fuzz_profile";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    dir = new QTemporaryDir;
    store = new ProfileStore(dir->filePath(QStringLiteral("Profiles")));
    QDir().mkpath(store->FolderOf(QStringLiteral("edited")));
  }
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

  const QString name = QString::fromUtf8(bytes.left(bytes.indexOf('\n')));
  bool named = true;
  try {
    ProfileStore::CheckName(name);
  } catch (const ProfileError&) {
    named = false;
  }
  if (named &&
      QFileInfo(store->FolderOf(name)).absolutePath() != QDir(store->Root()).absolutePath()) {
    abort();
  }

  {
    QFile f(store->FolderOf(QStringLiteral("edited")) + QLatin1Char('/') +
            ProfileStore::kProfileFile);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
      abort();
    }
  }
  ReportProfile loaded;
  try {
    loaded = store->Load(QStringLiteral("edited"));
  } catch (const ProfileError&) {
    return 0;
  }
  loaded.Validate();
  // Saving is Validate() and the file written whole with these bytes (the
  // store's own tests cover the writing; syncing a file per input would
  // slow the fuzzing a hundredfold).
  const QByteArray saved = loaded.ToJson();
  const ReportProfile again = ReportProfile::FromJson(saved);
  again.Validate();
  if (!(again == loaded) || again.ToJson() != saved) {
    abort();
  }
  return 0;
}
