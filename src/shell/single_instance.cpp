#include "shell/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace velmar {

namespace {
// The request: "show", a blank and the activation token when there is one,
// a line feed. The answer: one line.
const QByteArray kComeForward = "show";
constexpr int kAnswerWaitMs = 2000;
}  // namespace

const QString SingleInstance::kAnswerTray = QStringLiteral("tray");
const QString SingleInstance::kAnswerWindow = QStringLiteral("window");

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {
  QString safe = name_;
  safe.replace(QLatin1Char(' '), QLatin1Char('-'));
  const QString base = RuntimeDirectory() + QStringLiteral("/") + safe.toLower() +
                       QStringLiteral("-") + QString::number(getuid());
  lockPath_ = base + QStringLiteral(".lock");
  socketPath_ = base + QStringLiteral(".sock");
}

SingleInstance::~SingleInstance() {
  if (server_) {
    server_->close();
  }
}

QString SingleInstance::RuntimeDirectory() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QDir(runtime).exists() ? runtime : QDir::tempPath();
}

bool SingleInstance::Check() {
  lock_ = std::make_unique<QLockFile>(lockPath_);
  // No time limit: only a lock whose process is gone counts as stale.
  lock_->setStaleLockTime(0);
  if (lock_->tryLock(0)) {
    server_ = std::make_unique<QLocalServer>();
    QLocalServer::removeServer(socketPath_);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->listen(socketPath_);
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
      while (QLocalSocket* peer = server_->nextPendingConnection()) {
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] { Answer(*peer); });
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      }
    });
    return false;
  }
  lock_.reset();
  QString answer;
  if (SwitchToPrevious) {
    answer = AskToComeForward();
  }
  if (AlreadyExist) {
    AlreadyExist(answer);
  }
  return true;
}

void SingleInstance::Answer(QLocalSocket& peer) {
  if (!peer.canReadLine()) {
    return;  // the rest of the line is still on its way
  }
  const QByteArray line = peer.readLine().trimmed();
  if (!line.startsWith(kComeForward)) {
    return;
  }
  const QString token = QString::fromUtf8(line.mid(kComeForward.size()).trimmed());
  const QString answer = OnActivateRequest ? OnActivateRequest(token) : QString();
  peer.write(answer.toUtf8() + '\n');
  peer.flush();
}

QString SingleInstance::AskToComeForward() {
  QLocalSocket socket;
  socket.connectToServer(socketPath_);
  if (!socket.waitForConnected(1000)) {
    return QString();
  }
  // The desktop hands a program it starts a token that lets a window come
  // to the front on Wayland; the first instance's window is the one to.
  QByteArray request = kComeForward;
  const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
  if (!token.isEmpty()) {
    request += ' ' + token;
  }
  socket.write(request + '\n');
  socket.waitForBytesWritten(1000);
  QString answer;
  while (!socket.canReadLine() && socket.waitForReadyRead(kAnswerWaitMs)) {
  }
  if (socket.canReadLine()) {
    answer = QString::fromUtf8(socket.readLine().trimmed());
  }
  socket.disconnectFromServer();
  return answer;
}

}  // namespace velmar
