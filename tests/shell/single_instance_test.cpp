#include "shell/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

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
  // The first instance answers from an event loop of its own, as the
  // running meter does while a later start waits for the answer.
  QThread thread;
  QObject inThread;
  inThread.moveToThread(&thread);
  thread.start();
  std::unique_ptr<SingleInstance> first;
  QStringList tokens;
  const auto there = [&](const std::function<void()>& step) {
    QMetaObject::invokeMethod(&inThread, step, Qt::BlockingQueuedConnection);
  };
  there([&] {
    first = std::make_unique<SingleInstance>(QStringLiteral("Velmar 2000"));
    QObject::connect(first.get(), &SingleInstance::activationRequested,
                     [&](const QString& token, QString& answer) {
                       tokens << token;
                       answer = token.isEmpty() ? SingleInstance::kAnswerWindow
                                                : SingleInstance::kAnswerTray;
                     });
    QObject::connect(first.get(), &SingleInstance::alreadyRunning,
                     [] { ADD_FAILURE() << "the first instance is alone"; });
    EXPECT_FALSE(first->Check());
  });

  QStringList answers;
  const auto start = [&](bool switchToPrevious) {
    SingleInstance later(QStringLiteral("Velmar 2000"));
    later.SwitchToPrevious = switchToPrevious;
    QObject::connect(&later, &SingleInstance::alreadyRunning,
                     [&](const QString& answer) { answers << answer; });
    EXPECT_TRUE(later.Check());
  };
  // A peer that sends half a request and stays holds no one up.
  const int stalled = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray path =
      dir_.filePath(QStringLiteral("velmar-2000-%1.sock").arg(getuid())).toUtf8();
  qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
  ASSERT_EQ(::connect(stalled, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(send(stalled, "sh", 2, 0), 2);
  const QByteArray savedToken = qgetenv("XDG_ACTIVATION_TOKEN");
  qunsetenv("XDG_ACTIVATION_TOKEN");
  start(true);
  // A start with a token from the desktop hands it on.
  qputenv("XDG_ACTIVATION_TOKEN", "token-of-the-second-start");
  start(true);
  // Without SwitchToPrevious nothing is sent and no answer comes.
  start(false);
  if (savedToken.isNull()) {
    qunsetenv("XDG_ACTIVATION_TOKEN");
  } else {
    qputenv("XDG_ACTIVATION_TOKEN", savedToken);
  }
  there([&] {
    EXPECT_EQ(tokens, (QStringList{"", "token-of-the-second-start"}));
    first.reset();
  });
  close(stalled);
  thread.quit();
  thread.wait();
  EXPECT_EQ(answers, (QStringList{"window", "tray", ""}));

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
