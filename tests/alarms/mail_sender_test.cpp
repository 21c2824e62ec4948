#include "alarms/mail_sender.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTimeZone>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "alarms/alarm_evaluator.h"
#include "platform/launcher.h"
#include "support/smtp_sink.h"

#include <QThread>

namespace velmar {
namespace {

TEST(MailSenderTest, AddressesHeadersAndAvailability) {
  EXPECT_EQ(MailSender::ResolveAddress("ops@example.test"), "ops@example.test");
  EXPECT_EQ(MailSender::ResolveAddress("[SMTP:ops@example.test]"), "ops@example.test");
  EXPECT_EQ(MailSender::ResolveAddress("Ops [smtp:ops@example.test]"), "ops@example.test");
  EXPECT_EQ(MailSender::ResolveAddress("  "), "");
  EXPECT_EQ(MailSender::ResolveAddress("a@b\r\nBcc: evil@example.test"),
            "a@b  Bcc: evil@example.test")
      << "a settings line never starts a header of its own";

  qputenv("VELMAR_SENDMAIL", "/nonexistent/sendmail");
  MailSender none;
  EXPECT_FALSE(none.Available());
  none.Recipient << "x@example.test";
  EXPECT_THROW(none.SendMail(), MailUnavailableError);

  // A mail program that fails: the error event, nothing raised.
  qputenv("VELMAR_SENDMAIL", "/usr/bin/false");
  MailSender failing;
  int code = -1;
  QObject::connect(&failing, &MailSender::failed, [&](int c) { code = c; });
  failing.Recipient << "x@example.test";
  EXPECT_EQ(failing.SendMail(), MailSender::kFailure);
  EXPECT_EQ(code, MailSender::kFailure);
  qunsetenv("VELMAR_SENDMAIL");

  MailSender m;
  m.Subject = "Alarm\r\nBcc: evil@example.test";
  m.Text = "Downstream & (up) idle";
  const QByteArray msg = m.Message({"ops@example.test"});
  EXPECT_TRUE(msg.startsWith("To: ops@example.test\nSubject: Alarm  Bcc: evil@example.test\n"));
  EXPECT_EQ(msg.count("\nBcc:"), 0);
  EXPECT_TRUE(msg.contains("\nContent-Type: text/plain; charset=UTF-8\n"));
  EXPECT_TRUE(msg.endsWith("\n\nDownstream & (up) idle\n"));
  EXPECT_EQ(m.ComposeCommand(),
            (QStringList{"xdg-email", "--subject", "Alarm  Bcc: evil@example.test", "--body",
                         "Downstream & (up) idle"}));
}

TEST(MailSenderTest, TheAlarmMailReachesARealSmtpSinkThroughMsmtp) {
  test::SmtpSink sink;
  qputenv("VELMAR_SENDMAIL", sink.Sendmail().toUtf8());
  MailSender mail;
  ASSERT_TRUE(mail.Available());
  int errors = 0;
  QObject::connect(&mail, &MailSender::failed, [&] { ++errors; });
  mail.Recipient << "[SMTP:ops@example.test]";
  mail.Subject = AlarmEvaluator::kSubject;
  mail.Text = "Actual Downstream exceeded 100 Kb/s (1 Kilobit = 1000 bits.)";
  EXPECT_EQ(mail.SendMail(), 0);
  EXPECT_EQ(errors, 0);
  const auto messages = sink.Messages(1);
  ASSERT_EQ(messages.size(), 1);
  const QByteArray& got = messages[0];
  EXPECT_TRUE(got.contains("To: ops@example.test")) << got.constData();
  EXPECT_TRUE(got.contains("Subject: Alarm Message from your Velmar-2000 program"));
  EXPECT_TRUE(got.contains("\n\nActual Downstream exceeded 100 Kb/s (1 Kilobit = 1000 bits.)"));
  EXPECT_TRUE(
      QRegularExpression(R"(\nDate: \w{3}, \d{2} \w{3} \d{4} \d{2}:\d{2}:\d{2} [+-]\d{4}\r?\n)")
          .match(QString::fromLatin1(got))
          .hasMatch())
      << got.constData();
  qunsetenv("VELMAR_SENDMAIL");

  // The zone is numeric, never an abbreviation.
  const QDate day(2026, 12, 8);
  EXPECT_EQ(MailSender::RfcDate(QDateTime(day, QTime(14, 3, 22), QTimeZone(3600))),
            "Tue, 08 Dec 2026 14:03:22 +0100");
  EXPECT_EQ(MailSender::RfcDate(QDateTime(day, QTime(9, 0), QTimeZone(-12600))),
            "Tue, 08 Dec 2026 09:00:00 -0330");
  EXPECT_EQ(MailSender::RfcDate(QDateTime(day, QTime(0, 0), QTimeZone::utc())),
            "Tue, 08 Dec 2026 00:00:00 +0000");
}

TEST(AlarmProgramTest, TheProgramReceivesTheMessageAsOneArgument) {
  QTemporaryDir dir;
  const QString record = dir.filePath("received.txt");
  const QString program = dir.filePath("on-alarm");
  QFile f(program);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QString("#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '%1'\n").arg(record).toUtf8());
  f.close();
  f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QString message = "Actual Upstream exceeded 5 Kb/s & Actual Downstream (x) $HOME `id`";
  ASSERT_TRUE(Launcher::OpenOrRun(program + "?" + message));
  // The program writes the record in one go: its whole length says it is done.
  const QByteArray expected = ("1|" + message).toUtf8();
  for (int i = 0; i < 500 && QFileInfo(record).size() < expected.size(); ++i) {
    QThread::msleep(10);
  }
  QFile got(record);
  ASSERT_TRUE(got.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(got.readAll()), "1|" + message);
}

}  // namespace
}  // namespace velmar
