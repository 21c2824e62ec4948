#include "alarms/mail_sender.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>

namespace velmar {

MailSender::MailSender() {
  const QString over = qEnvironmentVariable("VELMAR_SENDMAIL");
  if (!over.isEmpty()) {
    program_ = QFileInfo(over).isExecutable() ? over : QString();
    return;
  }
  program_ = QStandardPaths::findExecutable(QStringLiteral("sendmail"));
  if (program_.isEmpty() && QFileInfo(QStringLiteral("/usr/sbin/sendmail")).isExecutable()) {
    program_ = QStringLiteral("/usr/sbin/sendmail");
  }
}

void MailSender::Clear() {
  Recipient.clear();
  Subject.clear();
  Text.clear();
}

int MailSender::Fail(int code) {
  emit failed(code);
  return code;
}

QString MailSender::HeaderSafe(const QString& text) {
  QString safe = text;
  safe.replace(QLatin1Char('\r'), QLatin1Char(' '));
  safe.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return safe;
}

QString MailSender::ResolveAddress(const QString& entry) {
  QString address = entry.trimmed();
  const qsizetype open = address.indexOf(QLatin1Char('['));
  const qsizetype close = address.indexOf(QLatin1Char(']'));
  if (open >= 0 && close > open) {
    address = address.mid(open + 1, close - open - 1);
  }
  if (address.startsWith(QLatin1String("SMTP:"), Qt::CaseInsensitive)) {
    address = address.mid(5);
  }
  return HeaderSafe(address).trimmed();
}

namespace {

// Non-ASCII header text as an RFC 2047 encoded word.
QByteArray EncodedHeader(const QString& text) {
  bool ascii = true;
  for (const QChar c : text) {
    ascii = ascii && c.unicode() < 128;
  }
  if (ascii) {
    return text.toLatin1();
  }
  return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
}

}  // namespace

QByteArray MailSender::RfcDate(const QDateTime& when) {
  // A zone abbreviation ("CET") is not a valid date in a mail header; the
  // numeric offset is.
  const int offset = when.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  return (QLocale::c().toString(when, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")) +
          (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
          QStringLiteral("%1%2")
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0')))
      .toLatin1();
}

QByteArray MailSender::Message(const QStringList& to) const {
  QByteArray m;
  if (!to.isEmpty()) {
    m += "To: " + to.join(QStringLiteral(", ")).toUtf8() + "\n";
  }
  if (!Subject.isEmpty()) {
    m += "Subject: " + EncodedHeader(HeaderSafe(Subject)) + "\n";
  }
  m += "Date: " + RfcDate(QDateTime::currentDateTime()) + "\n";
  m += "MIME-Version: 1.0\n";
  m += "Content-Type: text/plain; charset=UTF-8\n";
  m += "Content-Transfer-Encoding: 8bit\n\n";
  m += Text.toUtf8();
  if (!m.endsWith('\n')) {
    m += '\n';
  }
  return m;
}

QStringList MailSender::ComposeCommand() const {
  return {QStringLiteral("xdg-email"), QStringLiteral("--subject"), HeaderSafe(Subject),
          QStringLiteral("--body"), Text};
}

int MailSender::SendMail() {
  if (!Available()) {
    throw MailUnavailableError();
  }
  QStringList to;
  for (const QString& entry : Recipient) {
    const QString address = ResolveAddress(entry);
    if (!address.isEmpty()) {
      to << address;
    }
  }
  if (to.isEmpty()) {
    // Nobody to send to: the user addresses it in the compose window.
    const QStringList command = ComposeCommand();
    return QProcess::startDetached(command.first(), command.mid(1)) ? 0 : Fail(kFailure);
  }

  QProcess sendmail;
  sendmail.start(program_, {QStringLiteral("-t"), QStringLiteral("-i")});
  if (!sendmail.waitForStarted(10000)) {
    return Fail(kNotStarted);
  }
  sendmail.write(Message(to));
  sendmail.closeWriteChannel();
  if (!sendmail.waitForFinished(60000)) {
    sendmail.kill();
    sendmail.waitForFinished(1000);
    return Fail(kFailure);
  }
  if (sendmail.exitStatus() != QProcess::NormalExit || sendmail.exitCode() != 0) {
    return Fail(kFailure);
  }
  return 0;
}

}  // namespace velmar
