#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <exception>
#include <functional>
#include <ostream>

// Readable QStrings in test messages and failed comparisons.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
  return out << text.toStdString();
}
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

// Small helpers shared by the traffic-generation tests.
namespace velmar::test {

// The message of what `action` raised, or "(nothing raised)".
inline QString ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  }
  return QStringLiteral("(nothing raised)");
}

// Runs the event loop until `done` holds or `ms` have passed (a guard
// against hanging, not a measurement); returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer guard;
  guard.start();
  while (!done() && guard.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return done();
}

inline void PumpFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
}

// How many descriptors the process has open.
inline int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) {
      ++count;
    }
    closedir(dir);
  }
  return count;
}

// A listener on 127.0.0.1 whose accept queue is full: a further connect
// stays pending, as to a host that does not answer.
class StalledListener {
 public:
  StalledListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 0);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  ~StalledListener() {
    ::close(filler_);
    ::close(listener_);
  }
  uint16_t Port() const { return port_; }

 private:
  int listener_ = -1;
  int filler_ = -1;
  uint16_t port_ = 0;
};

}  // namespace velmar::test
