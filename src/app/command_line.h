#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>

namespace velmar {

// The options of `velmar` and `velmar-headless`, parsed the usual way: an
// unknown option or a stray argument is an error with a one-line reason
// and exit status 2.
class CommandLine {
 public:
  static constexpr int kUsageStatus = 2;

  CommandLine();

  // False, with the reason written to `err`, when the arguments cannot be
  // followed.
  bool Parse(const QStringList& arguments, QTextStream& err);
  // Of a raw argv, before any application exists: the first "--" option
  // that neither program knows, or an empty text.
  static QString UnknownLongOption(int argc, char* argv[]);

  // Writes "velmar: <reason>" as one line; returns the status.
  static int UsageError(QTextStream& err, const QString& reason);

  QCommandLineParser& Parser() { return parser_; }
  bool IsSet(const char* name) const { return parser_.isSet(QString::fromLatin1(name)); }
  QString Value(const char* name) const { return parser_.value(QString::fromLatin1(name)); }

 private:
  QCommandLineParser parser_;
};

}  // namespace velmar
