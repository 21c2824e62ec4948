#include "shell/single_instance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

namespace velmar {
namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  SingleInstanceTest() {
    saved_ = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", dir_.path().toUtf8());
  }
  ~SingleInstanceTest() override { qputenv("XDG_RUNTIME_DIR", saved_); }

  QTemporaryDir dir_;
  QByteArray saved_;
};

TEST_F(SingleInstanceTest, ASecondInstanceIsToldAndTheFirstComesForward) {
  SingleInstance first(QStringLiteral("Velmar 2000"));
  int activations = 0;
  first.OnActivateRequest = [&] { ++activations; };
  first.AlreadyExist = [] { ADD_FAILURE() << "the first instance is alone"; };
  ASSERT_FALSE(first.Check());

  SingleInstance second(QStringLiteral("Velmar 2000"));
  int told = 0;
  second.AlreadyExist = [&] { ++told; };
  EXPECT_TRUE(second.Check());
  EXPECT_EQ(told, 1);
  QElapsedTimer t;
  t.start();
  while (activations == 0 && t.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  EXPECT_EQ(activations, 1);

  // Without SwitchToPrevious nothing is sent.
  SingleInstance third(QStringLiteral("Velmar 2000"));
  third.SwitchToPrevious = false;
  EXPECT_TRUE(third.Check());
  for (int i = 0; i < 10; ++i)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(activations, 1);

  // Another name is another program.
  SingleInstance other(QStringLiteral("Something else"));
  EXPECT_FALSE(other.Check());
}

TEST_F(SingleInstanceTest, TheNameIsFreeAgainWhenItsHolderDied) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SingleInstance holder(QStringLiteral("Velmar 2000"));
    _exit(holder.Check() ? 1 : 0);  // dies holding the lock file
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(QDir(dir_.path()).entryList({"*.lock"}, QDir::Files).isEmpty())
      << "the dead holder's lock file is still there";

  SingleInstance next(QStringLiteral("Velmar 2000"));
  EXPECT_FALSE(next.Check()) << "a lock of a process that is gone is taken over";
}

}  // namespace
}  // namespace velmar
