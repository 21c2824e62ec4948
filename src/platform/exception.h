#pragma once

#include <QString>
#include <stdexcept>
#include <string>

namespace velmar {

// The one base of every failure the meter raises. The message is the text
// the user sees in the error report and the status bar.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const char* message) : std::runtime_error(message) {}
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  explicit Exception(const QString& message) : std::runtime_error(message.toStdString()) {}

  QString Message() const { return QString::fromUtf8(what()); }
};

}  // namespace velmar
