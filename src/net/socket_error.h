#pragma once

#include <QString>
#include <cstdint>

#include "platform/exception.h"

namespace velmar {

// The errors of the socket layer and the HTTP client. SocketError is also the
// plain error of a broken stream ("Error receiving the stream").
class SocketError : public Exception {
 public:
  using Exception::Exception;
};

class TimedOutError : public SocketError {
 public:
  TimedOutError() : SocketError("Operation timed out") {}
  // The same, naming what it waited for (the addresses being connected to).
  explicit TimedOutError(const QString& what)
      : SocketError(QStringLiteral("Operation timed out (%1)").arg(what)) {}
};

class CanceledError : public SocketError {
 public:
  CanceledError() : SocketError("Operation has been canceled") {}
};

// A socket or name-lookup failure under its number: socket errors from 10000
// on, name-lookup errors from 11000 on, each with a fixed text. The number
// and the text stay the same whatever the C library's own wording, so a
// status bar, a log or a question to support can quote them.
class NetworkError : public SocketError {
 public:
  explicit NetworkError(uint16_t code);
  // The error's text followed by what failed in brackets: the address or
  // name, or several of them and their own errors ("[10061] Connection
  // refused (192.0.2.1:80)").
  NetworkError(uint16_t code, const QString& what);
  uint16_t Code() const { return code_; }

 private:
  uint16_t code_;
};

// The text of the error table for `code`, or "Winsock error no " and the
// code when the table has no text for it (a message users see and quote,
// kept word for word).
QString NetworkErrorText(uint16_t code);

// The error number of a POSIX errno value and of a getaddrinfo result.
uint16_t NetworkCodeFromErrno(int error);
uint16_t NetworkCodeFromAddrInfo(int result, int savedErrno);

// The text of the broken-stream error, raised for anything the peer sends
// that cannot be read as what it should be.
inline constexpr const char* kStreamError = "Error receiving the stream";

}  // namespace velmar
