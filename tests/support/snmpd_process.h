#pragma once

// A real snmpd for tests and benchmarks: on 127.0.0.1 at a free port, run
// as the current user from a configuration and a persistent folder in a
// temporary directory, answering a v2c community. Stopped when destroyed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>

namespace velmar::test {

class SnmpdProcess {
 public:
  static constexpr const char* kCommunity = "velmar-test";

  // A UDP socket on a free port of 127.0.0.1.
  static int LoopbackSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
  }
  static uint16_t PortOf(int fd) {
    sockaddr_in a{};
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
  }

  // A UDP port nothing listens on (bound and closed again).
  static uint16_t FreePort() {
    const int probe = LoopbackSocket();
    const uint16_t port = PortOf(probe);
    close(probe);
    return port;
  }

  // On `port`, or a free one, with `extra` lines of snmpd.conf; false when
  // snmpd cannot be started (not installed).
  bool Start(uint16_t port = 0, const QString& extra = {}) {
    port_ = port != 0 ? port : FreePort();
    QFile conf(dir_.filePath(QStringLiteral("snmpd.conf")));
    if (!conf.open(QIODevice::WriteOnly)) {
      return false;
    }
    conf.write(QStringLiteral("agentAddress udp:127.0.0.1:%1\nrocommunity %2 127.0.0.1\n")
                   .arg(port_)
                   .arg(QString::fromLatin1(kCommunity))
                   .toUtf8());
    conf.write(extra.toUtf8());
    conf.close();
    const QByteArray confPath = QFile::encodeName(conf.fileName());
    const QByteArray log = QFile::encodeName(dir_.filePath(QStringLiteral("snmpd.log")));
    const QByteArray persist = QFile::encodeName(dir_.filePath(QStringLiteral("persist")));
    for (const char* program : {"/usr/sbin/snmpd", "/usr/local/sbin/snmpd"}) {
      if (access(program, X_OK) != 0) {
        continue;
      }
      pid_ = fork();
      if (pid_ == 0) {
        setenv("SNMP_PERSISTENT_DIR", persist.constData(), 1);
        execl(program, "snmpd", "-f", "-Lf", log.constData(), "-C", "-c", confPath.constData(),
              static_cast<char*>(nullptr));
        _exit(127);
      }
      return pid_ > 0;
    }
    return false;
  }
  ~SnmpdProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  uint16_t Port() const { return port_; }

 private:
  QTemporaryDir dir_;
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

}  // namespace velmar::test
