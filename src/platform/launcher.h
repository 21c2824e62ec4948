#pragma once

#include <QString>
#include <QStringList>

namespace velmar {

// The desktop's "open": a file, a web address or a program, started
// without a shell so no text is ever interpreted as a command line.
class Launcher {
 public:
  // Opens `target` with the desktop's default application (xdg-open).
  // False when the opener could not be started.
  static bool Open(const QString& target);

  // For a text `program?message` whose part before the first "?" names an
  // executable file, or is a bare name found on PATH: runs it with the
  // message as its single argument. Anything else is opened as a whole.
  static bool OpenOrRun(const QString& text);

  // The program and arguments Open/OpenOrRun start, for tests.
  static QStringList CommandFor(const QString& text);
};

}  // namespace velmar
