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
};

class CanceledError : public SocketError {
 public:
  CanceledError() : SocketError("Operation has been canceled") {}
};

// A socket or name-lookup failure, with the text of the Winsock error that
// means the same thing, so the user sees the same words on every platform.
class WinsockError : public SocketError {
 public:
  explicit WinsockError(uint16_t code);
  uint16_t Code() const { return code_; }

 private:
  uint16_t code_;
};

// The text of the Winsock error table for `code`, or "Winsock error no "
// and the code when the table has no text for it.
QString WinsockErrorText(uint16_t code);

// The Winsock code of a POSIX errno value and of a getaddrinfo result.
uint16_t WinsockCodeFromErrno(int error);
uint16_t WinsockCodeFromAddrInfo(int result, int savedErrno);

// The text of the broken-stream error, raised for anything the peer sends
// that cannot be read as what it should be.
inline constexpr const char* kStreamError = "Error receiving the stream";

}  // namespace velmar
