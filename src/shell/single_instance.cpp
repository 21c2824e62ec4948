#include "shell/single_instance.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

namespace velmar {

namespace {
// The request: "show", a blank and the activation token when there is one,
// a line feed. The answer: one line.
const QByteArray kComeForward = "show";
constexpr int kConnectWaitMs = 1000;
constexpr int kAnswerWaitMs = 2000;
// A request is a word and a token; a peer that sends more without a line
// feed is not a later instance.
constexpr qsizetype kLongestRequest = 4096;

bool Address(const QString& path, sockaddr_un& address) {
  const QByteArray bytes = QFile::encodeName(path);
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (static_cast<size_t>(bytes.size()) >= sizeof address.sun_path) {
    return false;
  }
  std::memcpy(address.sun_path, bytes.constData(), bytes.size());
  return true;
}

// Waits until `fd` is ready for `events` or `deadline` has passed.
bool WaitFor(int fd, short events, const QElapsedTimer& clock, int deadlineMs) {
  for (;;) {
    const qint64 left = deadlineMs - clock.elapsed();
    if (left <= 0) {
      return false;
    }
    pollfd one{fd, events, 0};
    const int ready = poll(&one, 1, static_cast<int>(left));
    if (ready > 0) {
      return true;
    }
    if (ready == 0 || errno != EINTR) {
      return false;
    }
  }
}
}  // namespace

struct SingleInstance::Peer {
  std::unique_ptr<QSocketNotifier> readable;
  QByteArray received;
};

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
  while (!peers_.empty()) {
    Drop(peers_.begin()->first);
  }
  if (listener_ >= 0) {
    listening_.reset();
    close(listener_);
    unlink(QFile::encodeName(socketPath_).constData());
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
    Listen();
    return false;
  }
  lock_.reset();
  QString answer;
  if (SwitchToPrevious) {
    answer = AskToComeForward();
  }
  emit alreadyRunning(answer);
  return true;
}

void SingleInstance::Listen() {
  // Holding the lock, this instance owns the name: a socket left by a
  // holder that died is removed. Without a socket the name is still held;
  // a later start then ends without bringing this one forward.
  sockaddr_un address;
  if (!Address(socketPath_, address)) {
    return;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return;
  }
  unlink(address.sun_path);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      chmod(address.sun_path, S_IRUSR | S_IWUSR) != 0 || listen(fd, 8) != 0) {
    close(fd);
    return;
  }
  listener_ = fd;
  listening_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  connect(listening_.get(), &QSocketNotifier::activated, this, [this] { Accept(); });
}

void SingleInstance::Accept() {
  for (;;) {
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      return;  // EAGAIN: all taken; a peer gone before its turn is no matter
    }
    auto peer = std::make_unique<Peer>();
    peer->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(peer->readable.get(), &QSocketNotifier::activated, this, [this, fd] { Read(fd); });
    peers_[fd] = std::move(peer);
  }
}

void SingleInstance::Read(int fd) {
  Peer& peer = *peers_.at(fd);
  char buffer[512];
  for (;;) {
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got > 0) {
      peer.received.append(buffer, got);
      continue;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
      break;
    }
    Drop(fd);  // the peer closed or failed before its line was whole
    return;
  }
  const qsizetype end = peer.received.indexOf('\n');
  if (end < 0) {
    if (peer.received.size() > kLongestRequest) {
      Drop(fd);
    }
    return;  // the rest of the line is still on its way
  }
  const QByteArray line = peer.received.left(end).trimmed();
  if (line.startsWith(kComeForward)) {
    const QString token = QString::fromUtf8(line.mid(kComeForward.size()).trimmed());
    QString answer;
    emit activationRequested(token, answer);
    // A line of a few bytes fits any fresh socket's buffer: one send.
    const QByteArray reply = answer.toUtf8() + '\n';
    [[maybe_unused]] const ssize_t sent = send(fd, reply.constData(), reply.size(), MSG_NOSIGNAL);
  }
  Drop(fd);
}

void SingleInstance::Drop(int fd) {
  const auto found = peers_.find(fd);
  if (found == peers_.end()) {
    return;
  }
  // The notifier goes before its descriptor does.
  found->second->readable.reset();
  peers_.erase(found);
  close(fd);
}

QString SingleInstance::AskToComeForward() {
  sockaddr_un address;
  if (!Address(socketPath_, address)) {
    return QString();
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return QString();
  }
  // A local connect waits only while the first instance's backlog is
  // full, for as long as the send time-out allows.
  const timeval connectWait{kConnectWaitMs / 1000, (kConnectWaitMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &connectWait, sizeof connectWait);
  QElapsedTimer clock;
  QString answer;
  const bool connected =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (connected) {
    // The desktop hands a program it starts a token that lets a window come
    // to the front on Wayland; the first instance's window is the one to.
    QByteArray request = kComeForward;
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty()) {
      request += ' ' + token;
    }
    request += '\n';
    if (send(fd, request.constData(), request.size(), MSG_NOSIGNAL) == request.size()) {
      QByteArray received;
      clock.start();
      while (!received.contains('\n') && WaitFor(fd, POLLIN, clock, kAnswerWaitMs)) {
        char buffer[256];
        const ssize_t got = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got <= 0 && !(got < 0 && (errno == EAGAIN || errno == EINTR))) {
          break;
        }
        if (got > 0) {
          received.append(buffer, got);
        }
      }
      const qsizetype end = received.indexOf('\n');
      if (end >= 0) {
        answer = QString::fromUtf8(received.left(end).trimmed());
      }
    }
  }
  close(fd);
  return answer;
}

}  // namespace velmar
