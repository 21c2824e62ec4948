#pragma once

// A D-Bus daemon of the test's own on a temporary address, and scripted
// services on it (tests/support/*.py) whose calls the test reads back as
// JSON lines. Nothing of the machine's buses is touched.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace velmar::test {

class PrivateBus {
 public:
  PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    if (daemon_.waitForReadyRead(5000)) {
      address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
  }
  ~PrivateBus() {
    daemon_.terminate();
    daemon_.waitForFinished(5000);
  }
  // Empty when no daemon could be started.
  const QString& Address() const { return address_; }

 private:
  QProcess daemon_;
  QString address_;
};

// A scripted service on `bus`: `script` with `args`, ready once it printed
// {"ready": ...}.
class ScriptedService {
 public:
  ScriptedService(const PrivateBus& bus, const QString& script, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.Address());
    process_.setProcessEnvironment(env);
    process_.start(QStringLiteral("/usr/bin/python3"), QStringList{script} + args);
    QDeadlineTimer deadline(10000);
    while (!ready_ && !deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
      process_.waitForReadyRead(100);
      Read();
    }
    EXPECT_TRUE(ready_) << script.toStdString() << ": " << process_.readAllStandardError().data();
  }
  ~ScriptedService() {
    process_.terminate();
    process_.waitForFinished(5000);
  }
  // The calls named `call` received so far, waiting (5 s at most) until
  // there are `atLeast` of them: the service prints each one as it answers,
  // and the line may still be in the pipe.
  QList<QJsonObject> Calls(const QString& call, int atLeast = 0) {
    QDeadlineTimer deadline(5000);
    for (;;) {
      Read();
      QList<QJsonObject> out;
      for (const QJsonObject& c : calls_) {
        if (c.value(QStringLiteral("call")).toString() == call) {
          out << c;
        }
      }
      if (out.size() >= atLeast || deadline.hasExpired()) {
        return out;
      }
      process_.waitForReadyRead(100);
    }
  }

 private:
  void Read() {
    while (process_.canReadLine()) {
      const QJsonObject line = QJsonDocument::fromJson(process_.readLine()).object();
      ready_ = ready_ || line.contains(QStringLiteral("ready"));
      if (line.contains(QStringLiteral("call"))) {
        calls_ << line;
      }
    }
  }
  QProcess process_;
  bool ready_ = false;
  QList<QJsonObject> calls_;
};

}  // namespace velmar::test
