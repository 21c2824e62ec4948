#pragma once

// A real SMTP sink on 127.0.0.1 (aiosmtpd's Mailbox handler, from Debian's
// python3-aiosmtpd) behind a real sendmail-compatible program (msmtp), for
// tests of the alarm e-mail. Everything lives in a temporary directory and
// the sink is stopped when the object goes.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace velmar::test {

class SmtpSink {
 public:
  SmtpSink() {
    port_ = FreePort();
    const QString maildir = dir_.filePath("maildir");
    sink_.setProgram("/usr/bin/python3");
    sink_.setArguments({"-m", "aiosmtpd", "-n", "-l", QString("127.0.0.1:%1").arg(port_), "-c",
                        "aiosmtpd.handlers.Mailbox", maildir});
    sink_.setProcessChannelMode(QProcess::MergedChannels);
    sink_.start();
    QElapsedTimer t;
    t.start();
    while (!Listening() && t.elapsed() < 15000)
      QThread::msleep(50);
    EXPECT_TRUE(Listening()) << "the SMTP sink did not start: " << sink_.readAll().constData();

    const QString conf = dir_.filePath("msmtprc");
    QFile c(conf);
    EXPECT_TRUE(c.open(QIODevice::WriteOnly));
    c.write(QString("account default\nhost 127.0.0.1\nport %1\nfrom velmar@localhost\n"
                    "auth off\ntls off\n")
                .arg(port_)
                .toUtf8());
    c.close();
    c.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    sendmail_ = dir_.filePath("sendmail");
    QFile s(sendmail_);
    EXPECT_TRUE(s.open(QIODevice::WriteOnly));
    s.write(QString("#!/bin/sh\nexec /usr/bin/msmtp -C '%1' \"$@\"\n").arg(conf).toUtf8());
    s.close();
    s.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  ~SmtpSink() {
    sink_.terminate();
    if (!sink_.waitForFinished(5000))
      sink_.kill();
    sink_.waitForFinished(2000);
  }

  // The sendmail-compatible program that delivers to this sink.
  QString Sendmail() const { return sendmail_; }

  // The raw messages received so far, waiting up to `ms` for `count`.
  QList<QByteArray> Messages(int count = 1, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    QList<QByteArray> out;
    do {
      out.clear();
      for (const QString& sub : {QString("new"), QString("cur")}) {
        QDir d(dir_.filePath("maildir/" + sub));
        for (const QString& f : d.entryList(QDir::Files, QDir::Time | QDir::Reversed)) {
          QFile file(d.filePath(f));
          if (file.open(QIODevice::ReadOnly))
            out << file.readAll();
        }
      }
      if (out.size() >= count)
        break;
      QThread::msleep(50);
    } while (t.elapsed() < ms);
    return out;
  }

 private:
  static int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
  }
  bool Listening() const {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port_));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
  }

  QTemporaryDir dir_;
  QProcess sink_;
  int port_ = 0;
  QString sendmail_;
};

}  // namespace velmar::test
