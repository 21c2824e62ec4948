#include "platform/launcher.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

namespace velmar {
namespace {

TEST(LauncherTest, ProgramWithMessageRunsItOtherwiseTheTextIsOpened) {
  QTemporaryDir dir;
  const QString program = dir.filePath("alarm.sh");
  QFile f(program);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("#!/bin/sh\n");
  f.close();
  f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  EXPECT_EQ(Launcher::CommandFor(program + "?Speed dropped; rm -rf /"),
            (QStringList{program, "Speed dropped; rm -rf /"}))
      << "the message is one argument, never a command line";
  EXPECT_EQ(Launcher::CommandFor(program + "?a?b"), (QStringList{program, "a?b"}));

  qputenv("VELMAR_OPENER", "/usr/bin/true");
  // Not executable, not a file, no question mark: the whole text is opened.
  const QString plain = dir.filePath("notes.txt");
  QFile n(plain);
  ASSERT_TRUE(n.open(QIODevice::WriteOnly));
  n.close();
  EXPECT_EQ(Launcher::CommandFor(plain + "?x"), (QStringList{"/usr/bin/true", plain + "?x"}));
  EXPECT_EQ(Launcher::CommandFor("https://example.test/?q=1"),
            (QStringList{"/usr/bin/true", "https://example.test/?q=1"}));
  EXPECT_EQ(Launcher::CommandFor(dir.path() + "?x"),
            (QStringList{"/usr/bin/true", dir.path() + "?x"}));
  EXPECT_EQ(Launcher::CommandFor("?x"), (QStringList{"/usr/bin/true", "?x"}));
  EXPECT_TRUE(Launcher::Open("anything"));
  qputenv("VELMAR_OPENER", "/nonexistent/opener");
  EXPECT_FALSE(Launcher::Open("anything"));
  qunsetenv("VELMAR_OPENER");
}

TEST(LauncherTest, ABareProgramNameIsFoundOnPathAndRunWithTheMessage) {
  QTemporaryDir dir;
  const QString program = dir.filePath("velmar-test-notify");
  const QString record = dir.filePath("received.txt");
  QFile f(program);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > '%1'\n").arg(record).toUtf8());
  f.close();
  f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", dir.path().toUtf8() + ":" + path);
  qputenv("VELMAR_OPENER", "/nonexistent/opener");
  EXPECT_EQ(Launcher::CommandFor("velmar-test-notify?Speed dropped"),
            (QStringList{program, "Speed dropped"}));
  ASSERT_TRUE(Launcher::OpenOrRun("velmar-test-notify?Speed dropped; $(reboot)"));
  for (int i = 0; i < 300 && QFileInfo(record).size() < 24; ++i) {
    QThread::msleep(10);
  }
  QFile got(record);
  ASSERT_TRUE(got.open(QIODevice::ReadOnly));
  EXPECT_EQ(got.readAll(), "Speed dropped; $(reboot)");
  // Not on PATH: opened as a whole, as before.
  EXPECT_EQ(Launcher::CommandFor("no-such-program-here?x"),
            (QStringList{"/nonexistent/opener", "no-such-program-here?x"}));
  qputenv("PATH", path);
  qunsetenv("VELMAR_OPENER");
}

}  // namespace
}  // namespace velmar
