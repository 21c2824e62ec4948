#include "net/local_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace velmar::test {

namespace {

[[noreturn]] void Fail(const QString& what) {
  throw std::runtime_error(what.toStdString());
}

QString ScriptPath() {
  return QStringLiteral(VELMAR_TEST_SOURCE "/net/scripted_server.py");
}

}  // namespace

ChildProcess::ChildProcess(const QString& program, const QStringList& arguments,
                           const QString& outputPath) {
  std::vector<std::string> words{program.toStdString()};
  for (const QString& argument : arguments) {
    words.push_back(argument.toStdString());
  }
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  const std::string output = outputPath.toStdString();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group, so a last-resort kill reaches its workers too.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const int result = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) {
    pid_ = -1;
    Fail(QStringLiteral("cannot start %1: %2")
             .arg(program, QString::fromLocal8Bit(strerror(result))));
  }
}

ChildProcess::~ChildProcess() {
  Stop();
}

bool ChildProcess::Running() {
  if (pid_ <= 0) {
    return false;
  }
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

void ChildProcess::Stop() {
  if (pid_ <= 0) {
    return;
  }
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(-pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

uint16_t FreePort() {
  const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (handle == -1 || ::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (handle != -1) {
      ::close(handle);
    }
    Fail(QStringLiteral("no free port"));
  }
  ::close(handle);
  return ntohs(address.sin_port);
}

bool WaitForPort(uint16_t port, int ms, const QString& host) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    const bool v6 = host.contains(u':');
    const int handle = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage storage{};
    socklen_t length = sizeof(sockaddr_in);
    if (v6) {
      auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
      a->sin6_family = AF_INET6;
      a->sin6_port = htons(port);
      ::inet_pton(AF_INET6, host.toLatin1().constData(), &a->sin6_addr);
      length = sizeof(sockaddr_in6);
    } else {
      auto* a = reinterpret_cast<sockaddr_in*>(&storage);
      a->sin_family = AF_INET;
      a->sin_port = htons(port);
      ::inet_pton(AF_INET, host.toLatin1().constData(), &a->sin_addr);
    }
    const bool up = ::connect(handle, reinterpret_cast<sockaddr*>(&storage), length) == 0;
    ::close(handle);
    if (up) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

QString FindProgram(const QString& name) {
  QString path = QStandardPaths::findExecutable(name);
  if (path.isEmpty()) {
    path = QStandardPaths::findExecutable(
        name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"), QStringLiteral("/sbin")});
  }
  return path;
}

void MakeSparseFile(const QString& path, int64_t size) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || !file.resize(size)) {
    Fail(QStringLiteral("cannot make ") + path);
  }
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    Fail(QStringLiteral("cannot write ") + path);
  }
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// nginx --------------------------------------------------------------------

bool LocalNginx::Available() {
  return !FindProgram(QStringLiteral("nginx")).isEmpty();
}

LocalNginx::LocalNginx(int64_t slowRate, const QString& host) : host_(host) {
  if (!dir_.isValid()) {
    Fail(QStringLiteral("no temporary directory"));
  }
  const QString nginx = FindProgram(QStringLiteral("nginx"));
  if (nginx.isEmpty()) {
    Fail(QStringLiteral("nginx is not installed"));
  }
  const QString base = dir_.path();
  QDir(base).mkpath(QStringLiteral("www"));
  QDir(base).mkpath(QStringLiteral("tmp"));
  WriteFile(Root() + QStringLiteral("/missing.html"),
            QByteArrayLiteral("<html><body>not here</body></html>\n"));
  port_ = FreePort();
  // Workers started by root would take a user without access to the
  // private temporary directory.
  const QString user = geteuid() == 0 ? QStringLiteral("user root root;\n") : QString();
  const QString config = user + QStringLiteral(
                                    "worker_processes 1;\n"
                                    "error_log %1/error.log warn;\n"
                                    "pid %1/nginx.pid;\n"
                                    "events { worker_connections 64; }\n"
                                    "http {\n"
                                    "  access_log off;\n"
                                    "  default_type application/octet-stream;\n"
                                    "  sendfile on;\n"
                                    "  client_body_temp_path %1/tmp/body;\n"
                                    "  proxy_temp_path %1/tmp/proxy;\n"
                                    "  fastcgi_temp_path %1/tmp/fastcgi;\n"
                                    "  uwsgi_temp_path %1/tmp/uwsgi;\n"
                                    "  scgi_temp_path %1/tmp/scgi;\n"
                                    "  server {\n"
                                    "    listen %4:%2;\n"
                                    "    root %1/www;\n"
                                    "    error_page 404 /missing.html;\n"
                                    "    location / { }\n"
                                    "    location /slow/ { alias %1/www/; limit_rate %3; }\n"
                                    "  }\n"
                                    "}\n")
                                    .arg(base)
                                    .arg(port_)
                                    .arg(slowRate)
                                    .arg(HostInUrl());
  WriteFile(base + QStringLiteral("/nginx.conf"), config.toUtf8());
  process_ = std::make_unique<ChildProcess>(
      nginx,
      QStringList{QStringLiteral("-p"), base, QStringLiteral("-e"),
                  base + QStringLiteral("/error.log"), QStringLiteral("-c"),
                  base + QStringLiteral("/nginx.conf"), QStringLiteral("-g"),
                  QStringLiteral("daemon off;")},
      base + QStringLiteral("/stdout.log"));
  if (!WaitForPort(port_, 10000, host_)) {
    const QByteArray log = ReadFile(ErrorLog()) + ReadFile(base + QStringLiteral("/stdout.log"));
    Stop();
    Fail(QStringLiteral("nginx did not start: ") + QString::fromUtf8(log));
  }
}

LocalNginx::~LocalNginx() {
  Stop();
}

QString LocalNginx::Root() const {
  return dir_.path() + QStringLiteral("/www");
}

QString LocalNginx::HostInUrl() const {
  return host_.contains(u':') ? u'[' + host_ + u']' : host_;
}

QString LocalNginx::Url(const QString& path) const {
  return QStringLiteral("http://%1:%2%3").arg(HostInUrl()).arg(port_).arg(path);
}

QString LocalNginx::ErrorLog() const {
  return dir_.path() + QStringLiteral("/error.log");
}

void LocalNginx::Stop() {
  if (process_) {
    process_->Stop();
  }
}

// tinyproxy ----------------------------------------------------------------

bool LocalTinyproxy::Available() {
  return !FindProgram(QStringLiteral("tinyproxy")).isEmpty();
}

LocalTinyproxy::LocalTinyproxy(const QString& host) : host_(host) {
  if (!dir_.isValid()) {
    Fail(QStringLiteral("no temporary directory"));
  }
  const QString tinyproxy = FindProgram(QStringLiteral("tinyproxy"));
  if (tinyproxy.isEmpty()) {
    Fail(QStringLiteral("tinyproxy is not installed"));
  }
  const QString base = dir_.path();
  port_ = FreePort();
  const QString user = geteuid() == 0 ? QStringLiteral("User root\nGroup root\n") : QString();
  const QString config = user + QStringLiteral(
                                    "Port %1\n"
                                    "Listen %3\n"
                                    "Timeout 60\n"
                                    "Allow %3\n"
                                    "MaxClients 16\n"
                                    "LogFile \"%2/tinyproxy.log\"\n"
                                    "LogLevel Info\n"
                                    "PidFile \"%2/tinyproxy.pid\"\n")
                                    .arg(port_)
                                    .arg(base)
                                    .arg(host_);
  WriteFile(base + QStringLiteral("/tinyproxy.conf"), config.toUtf8());
  process_ = std::make_unique<ChildProcess>(tinyproxy,
                                            QStringList{QStringLiteral("-d"), QStringLiteral("-c"),
                                                        base + QStringLiteral("/tinyproxy.conf")},
                                            base + QStringLiteral("/stdout.log"));
  if (!WaitForPort(port_, 10000, host_)) {
    const QByteArray log = ReadFile(Log()) + ReadFile(base + QStringLiteral("/stdout.log"));
    Stop();
    Fail(QStringLiteral("tinyproxy did not start: ") + QString::fromUtf8(log));
  }
}

LocalTinyproxy::~LocalTinyproxy() {
  Stop();
}

QString LocalTinyproxy::Log() const {
  return dir_.path() + QStringLiteral("/tinyproxy.log");
}

void LocalTinyproxy::Stop() {
  if (process_) {
    process_->Stop();
  }
}

// The scripted server ------------------------------------------------------

bool ScriptedServer::Available() {
  return !FindProgram(QStringLiteral("python3")).isEmpty() && QFileInfo::exists(ScriptPath());
}

ScriptedServer::ScriptedServer(const QString& scenario) {
  if (!dir_.isValid()) {
    Fail(QStringLiteral("no temporary directory"));
  }
  const QString python = FindProgram(QStringLiteral("python3"));
  if (python.isEmpty()) {
    Fail(QStringLiteral("python3 is not installed"));
  }
  const QString base = dir_.path();
  process_ = std::make_unique<ChildProcess>(python, QStringList{ScriptPath(), scenario, base},
                                            base + QStringLiteral("/output.log"));
  // The server binds port 0 and writes the port it got.
  const QString portFile = base + QStringLiteral("/port");
  for (int i = 0; i < 500 && port_ == 0; ++i) {
    const QByteArray text = ReadFile(portFile).trimmed();
    if (text.endsWith('.')) {
      port_ = static_cast<uint16_t>(text.chopped(1).toUInt());
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (port_ == 0) {
    const QByteArray log = ReadFile(base + QStringLiteral("/output.log"));
    Stop();
    Fail(QStringLiteral("scripted server did not start: ") + QString::fromUtf8(log));
  }
}

ScriptedServer::~ScriptedServer() {
  Stop();
}

QString ScriptedServer::Url(const QString& path) const {
  return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

QByteArray ScriptedServer::Request(int n) const {
  return ReadFile(dir_.path() + QStringLiteral("/request-%1.bin").arg(n));
}

int ScriptedServer::Connections() const {
  return static_cast<int>(
      QDir(dir_.path()).entryList({QStringLiteral("accepted-*")}, QDir::Files).size());
}

void ScriptedServer::Stop() {
  if (process_) {
    process_->Stop();
  }
}

}  // namespace velmar::test
