#include "shell/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace velmar {

namespace {
const QByteArray kComeForward = "show\n";
}

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
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
          if (peer->readAll().contains(kComeForward) && OnActivateRequest) {
            OnActivateRequest();
          }
        });
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      }
    });
    return false;
  }
  lock_.reset();
  if (AlreadyExist) {
    AlreadyExist();
  }
  if (SwitchToPrevious) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (socket.waitForConnected(1000)) {
      socket.write(kComeForward);
      socket.waitForBytesWritten(1000);
      socket.disconnectFromServer();
    }
  }
  return true;
}

}  // namespace velmar
