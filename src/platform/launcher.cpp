#include "platform/launcher.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace velmar {

namespace {

QString Opener() {
  const QString over = qEnvironmentVariable("VELMAR_OPENER");
  return over.isEmpty() ? QStringLiteral("xdg-open") : over;
}

bool Start(const QStringList& command) {
  if (command.isEmpty()) {
    return false;
  }
  return QProcess::startDetached(command.first(), command.mid(1));
}

}  // namespace

QStringList Launcher::CommandFor(const QString& text) {
  const qsizetype mark = text.indexOf(QLatin1Char('?'));
  if (mark > 0) {
    const QString name = text.left(mark);
    const QFileInfo program(name);
    if (program.isFile() && program.isExecutable()) {
      return {program.absoluteFilePath(), text.mid(mark + 1)};
    }
    // A bare name ("notify-send") is a program on PATH, as in a shell; the
    // opener would only fail on it.
    if (!name.contains(QLatin1Char('/'))) {
      const QString found = QStandardPaths::findExecutable(name);
      if (!found.isEmpty()) {
        return {found, text.mid(mark + 1)};
      }
    }
  }
  return {Opener(), text};
}

bool Launcher::Open(const QString& target) {
  return Start({Opener(), target});
}

bool Launcher::OpenOrRun(const QString& text) {
  return Start(CommandFor(text));
}

}  // namespace velmar
