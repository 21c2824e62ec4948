#include "report/profile_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/app_paths.h"
#include "platform/atomic_file.h"

namespace velmar {

const QString ProfileStore::kProfileFile = QStringLiteral("profile.json");

QString ProfileStore::DefaultRoot() {
  return ExecutableDir() + QStringLiteral("/Profiles");
}

void ProfileStore::CheckName(const QString& name) {
  const auto refuse = [&name](const QString& why) {
    throw ProfileError(QStringLiteral("\"%1\" cannot name a profile: %2").arg(name, why));
  };
  if (name.isEmpty()) {
    throw ProfileError(QStringLiteral("A profile needs a name."));
  }
  if (name.trimmed() != name) {
    refuse(QStringLiteral("it starts or ends with a blank"));
  }
  if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) {
    refuse(QStringLiteral("it holds a path separator"));
  }
  if (name.contains(QLatin1String(".."))) {
    refuse(QStringLiteral("it holds \"..\""));
  }
  if (name.startsWith(QLatin1Char('.'))) {
    refuse(QStringLiteral("it starts with a dot"));
  }
  for (const QChar c : name) {
    if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
        c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph ||
        c.isSurrogate() || c.isNonCharacter()) {
      refuse(QStringLiteral("it holds a control character"));
    }
  }
  if (name.size() > 64) {
    refuse(QStringLiteral("it is longer than 64 characters"));
  }
}

QStringList ProfileStore::Names() const {
  QStringList names;
  const QDir dir(root_);
  for (const QString& folder : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
    try {
      CheckName(folder);
    } catch (const ProfileError&) {
      continue;  // not a folder this meter made
    }
    if (QFileInfo(dir.filePath(folder + QLatin1Char('/') + kProfileFile)).isFile()) {
      names << folder;
    }
  }
  return names;
}

bool ProfileStore::Exists(const QString& name) const {
  return QFileInfo(FolderOf(name) + QLatin1Char('/') + kProfileFile).isFile();
}

ReportProfile ProfileStore::Load(const QString& name) const {
  CheckName(name);
  const QString path = FolderOf(name) + QLatin1Char('/') + kProfileFile;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw ProfileError(QStringLiteral("There is no report profile \"%1\" (%2: %3).")
                           .arg(name, path, file.errorString()));
  }
  // A profile is a few hundred bytes; a huge file is no profile.
  const QByteArray json = file.read(1 << 20);
  try {
    return ReportProfile::FromJson(json);
  } catch (const ProfileError& e) {
    throw ProfileError(QStringLiteral("The report profile \"%1\" cannot be used: %2: %3")
                           .arg(name, path, e.Message()));
  }
}

void ProfileStore::Save(const QString& name, const ReportProfile& profile) const {
  CheckName(name);
  profile.Validate();
  const QString folder = FolderOf(name);
  const bool existed = QFileInfo(folder).isDir();
  if (!existed && !QDir().mkpath(folder)) {
    throw ProfileError(QStringLiteral("The profile folder %1 cannot be created.").arg(folder));
  }
  try {
    WriteFileAtomically(folder + QLatin1Char('/') + kProfileFile, profile.ToJson());
  } catch (const Exception& e) {
    if (!existed) {
      QDir().rmdir(folder);
    }
    throw ProfileError(
        QStringLiteral("The profile \"%1\" was not saved: %2").arg(name, e.Message()));
  }
}

}  // namespace velmar
