#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

#include "platform/exception.h"

namespace velmar {

class MailUnavailableError : public Exception {
 public:
  MailUnavailableError() : Exception("MAPI services are not available on this system") {}
};
class MailError : public Exception {
 public:
  MailError() : Exception("GetProcAddress for MAPI.DLL function(s) failed") {}
};

// The mail component of the alarm e-mail, on the system's sendmail
// interface: a "sendmail -t -i" compatible program ($VELMAR_SENDMAIL, else
// sendmail on PATH, else /usr/sbin/sendmail) takes the whole message on
// its standard input; no shell is involved. Without any recipient the
// desktop's compose window (xdg-email) opens with the subject and text.
class MailSender {
 public:
  // Mail error codes, as the mail interface numbers them.
  static constexpr int kFailure = 2;
  static constexpr int kLoginFailure = 3;
  static constexpr int kTooManyFiles = 9;
  static constexpr int kTooManyRecipients = 10;
  static constexpr int kAttachmentNotFound = 11;

  MailSender();

  QStringList Recipient;
  QStringList CC;
  QStringList Bcc;
  QStringList Attachment;
  QString Subject;
  QString Text;
  bool Acknowledge = false;
  bool ShowDialog = false;

  // A mail call failed (sender, error code).
  std::function<void(MailSender&, int)> OnMapiError;

  // The mail program was found.
  bool MapiAvail() const { return !program_.isEmpty(); }
  QString Program() const { return program_; }

  void Clear();
  // Returns the last mail error code, 0 on success. Raises MailUnavailableError
  // when no mail program exists.
  int SendMail();

  // The address an entry stands for: "[SMTP:bob@example.org]" and
  // "SMTP:bob@example.org" both mean bob@example.org.
  static QString ResolveAddress(const QString& entry);
  // The whole message as the mail program receives it.
  QByteArray Message(const QStringList& to, const QStringList& cc, const QStringList& bcc) const;
  // Header text with line breaks turned into blanks: no settings text may
  // start a header line of its own.
  static QString HeaderSafe(const QString& text);
  // An RFC 5322 date: "Tue, 08 Dec 2026 14:03:22 +0100".
  static QByteArray RfcDate(const QDateTime& when);

  // The compose-window command used when no recipient is left.
  QStringList ComposeCommand() const;

 private:
  int Fail(int code);
  QString program_;
};

}  // namespace velmar
