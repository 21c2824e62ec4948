#include "launcher.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

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

}  // namespace
}  // namespace velmar
