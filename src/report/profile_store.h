#pragma once

#include <QString>
#include <QStringList>

#include "report/report_profile.h"

namespace velmar {

// The report profiles: one folder each under "Profiles" beside the settings
// file (the folders "Delete Profiles" removes), holding profile.json and
// the reports made from it.
class ProfileStore {
 public:
  static const QString kProfileFile;  // profile.json

  // `root` is the Profiles folder; it need not exist yet.
  explicit ProfileStore(QString root) : root_(std::move(root)) {}
  // ExecutableDir()/Profiles.
  static QString DefaultRoot();

  const QString& Root() const { return root_; }
  QString FolderOf(const QString& name) const { return root_ + QLatin1Char('/') + name; }

  // Raises ProfileError saying why `name` cannot name a profile folder:
  // empty, blanks around it, a path separator, "..", a leading dot, a
  // control character, or longer than 64 characters.
  static void CheckName(const QString& name);

  // The profiles that have a profile file, sorted.
  QStringList Names() const;
  bool Exists(const QString& name) const;
  // Raises ProfileError naming the profile and what is wrong with its file.
  ReportProfile Load(const QString& name) const;
  // Creates the folder when needed and replaces the profile file whole.
  // Raises ProfileError when the name or the profile is not valid, or the
  // folder cannot be written; a folder it created for nothing goes again.
  void Save(const QString& name, const ReportProfile& profile) const;

 private:
  QString root_;
};

}  // namespace velmar
