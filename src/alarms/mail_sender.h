#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/exception.h"

namespace velmar {

// No sendmail program was found. The text is what users see for a missing
// mail system, and is kept word for word so that help and searches match.
class MailUnavailableError : public Exception {
 public:
  MailUnavailableError() : Exception("MAPI services are not available on this system") {}
};

// Sends the alarm e-mail through the system's sendmail
// interface: a "sendmail -t -i" compatible program ($VELMAR_SENDMAIL, else
// sendmail on PATH, else /usr/sbin/sendmail) takes the whole message on
// its standard input; no shell is involved. Without any recipient the
// desktop's compose window (xdg-email) opens with the subject and text.
class MailSender : public QObject {
  Q_OBJECT

 public:
  // Failure codes SendMail returns: the program could not be started, or
  // it failed or hung.
  static constexpr int kFailure = 2;
  static constexpr int kNotStarted = 3;

  MailSender();

  QStringList Recipient;
  QString Subject;
  QString Text;

  // A sendmail program was found.
  bool Available() const { return !program_.isEmpty(); }
  QString Program() const { return program_; }

  void Clear();
  // Returns 0 on success, else the failure code. Raises
  // MailUnavailableError when no sendmail program exists.
  int SendMail();

  // The address an entry stands for: "[SMTP:bob@example.org]" and
  // "SMTP:bob@example.org" both mean bob@example.org.
  static QString ResolveAddress(const QString& entry);
  // The whole message as the sendmail program receives it.
  QByteArray Message(const QStringList& to) const;
  // Header text with line breaks turned into blanks: no settings text may
  // start a header line of its own.
  static QString HeaderSafe(const QString& text);
  // An RFC 5322 date: "Tue, 08 Dec 2026 14:03:22 +0100".
  static QByteArray RfcDate(const QDateTime& when);

  // The compose-window command used when no recipient is left.
  QStringList ComposeCommand() const;

 signals:
  // A send failed, with its failure code.
  void failed(int code);

 private:
  int Fail(int code);
  QString program_;
};

}  // namespace velmar
