#pragma once

#include <QByteArray>
#include <QString>

namespace velmar {

// Replaces a file's content whole or not at all: the bytes go to a new file
// beside it, are flushed to the disk, and the new file is renamed over the
// old one. A crash or a full disk at any moment leaves the old file as it
// was. Raises velmar::Exception saying what failed.
void WriteFileAtomically(const QString& path, const QByteArray& content);

}  // namespace velmar
