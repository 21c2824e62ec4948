#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>

// Real peers for the traffic-generation tests and the benchmark, each on
// 127.0.0.1 on a free port, with its own temporary directory and
// configuration, stopped when the object goes. No GoogleTest in here: the
// benchmark uses it too. Failures to start raise std::runtime_error.
namespace velmar::test {

// A program started without a shell, its output in a file; stopped (TERM,
// then KILL) and reaped by Stop or the destructor.
class ChildProcess {
 public:
  ChildProcess(const QString& program, const QStringList& arguments, const QString& outputPath);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();
  void Stop();

 private:
  pid_t pid_ = -1;
};

// A port nobody listens on at the moment of asking.
uint16_t FreePort();
// True once something accepts on host:port (polled, at most `ms`); the
// host is a numeric address of either family.
bool WaitForPort(uint16_t port, int ms, const QString& host = QStringLiteral("127.0.0.1"));
// The path of a program on PATH or in the usual system directories; empty
// when there is none.
QString FindProgram(const QString& name);

// A file of `size` bytes of zeros that takes no disk space.
void MakeSparseFile(const QString& path, int64_t size);
void WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);

// nginx serving Root() as "/", "/missing.html" as its 404 page, and the
// same files under "/slow/" at `slowRate` bytes per second, listening on
// `host` alone (a numeric address of either family).
class LocalNginx {
 public:
  explicit LocalNginx(int64_t slowRate = 4 * 1024 * 1024,
                      const QString& host = QStringLiteral("127.0.0.1"));
  ~LocalNginx();

  static bool Available();
  uint16_t Port() const { return port_; }
  QString Root() const;
  // "http://<host>:<port>" + path, an IPv6 host in brackets.
  QString Url(const QString& path) const;
  QString HostInUrl() const;
  QString ErrorLog() const;
  void Stop();

 private:
  QTemporaryDir dir_;
  QString host_;
  uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

// tinyproxy as an HTTP proxy listening on, and for, `host` alone.
class LocalTinyproxy {
 public:
  explicit LocalTinyproxy(const QString& host = QStringLiteral("127.0.0.1"));
  ~LocalTinyproxy();

  static bool Available();
  uint16_t Port() const { return port_; }
  QString Log() const;
  void Stop();

 private:
  QTemporaryDir dir_;
  QString host_;
  uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

// tests/net/scripted_server.py playing one scenario on every connection;
// the request bytes each connection sent before the answer are kept.
class ScriptedServer {
 public:
  explicit ScriptedServer(const QString& scenario);
  ~ScriptedServer();

  static bool Available();
  uint16_t Port() const { return port_; }
  QString Url(const QString& path = QStringLiteral("/")) const;
  // The request head (up to its empty line) of connection n (0-based),
  // as it arrived; empty when none was captured.
  QByteArray Request(int n) const;
  int Connections() const;
  void Stop();

 private:
  QTemporaryDir dir_;
  uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace velmar::test
