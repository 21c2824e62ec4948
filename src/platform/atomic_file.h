#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace velmar {

// Replaces a file's content whole or not at all: the bytes go to a new file
// beside it, are flushed to the disk, and the new file is renamed over the
// old one. A crash or a full disk at any moment leaves the old file as it
// was. Raises velmar::Exception saying what failed.
void WriteFileAtomically(const QString& path, const QByteArray& content);

// The same for several files that belong together (a report in three
// formats): every new content is written and flushed beside its file
// first; only when all of them are on the disk are they renamed into
// place. A failure before that point leaves every file as it was.
struct FileContent {
  QString path;
  QByteArray content;
};
void WriteFilesAtomically(const std::vector<FileContent>& files);

}  // namespace velmar
