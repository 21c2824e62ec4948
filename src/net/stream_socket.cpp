#include "net/stream_socket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <string>

#include "net/socket_error.h"

namespace velmar {

namespace {

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

// Per cent of `whole`, halves rounded to even (the default rounding mode).
int Percent(int64_t part, int64_t whole) {
  if (whole <= 0) {
    return 100;
  }
  return static_cast<int>(std::nearbyint(static_cast<double>(part) * 100.0 / whole));
}

// A chunk size: hexadecimal digits only, in either case, and small enough
// for a signed 64-bit count. Anything else (an extension, a sign, a size of
// 2^64 - 1) is a broken stream.
int64_t ParseChunkSize(const QString& text) {
  if (text.isEmpty()) {
    throw SocketError(kStreamError);
  }
  uint64_t value = 0;
  for (const QChar c : text) {
    int digit = 0;
    if (c >= u'0' && c <= u'9') {
      digit = c.unicode() - u'0';
    } else if (c >= u'a' && c <= u'f') {
      digit = c.unicode() - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
      digit = c.unicode() - u'A' + 10;
    } else {
      throw SocketError(kStreamError);
    }
    if (value > (static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) >> 4)) {
      throw SocketError(kStreamError);
    }
    value = value * 16 + static_cast<uint64_t>(digit);
  }
  return static_cast<int64_t>(value);
}

}  // namespace

StreamSocket::StreamSocket(QObject* owner) : SocketBase(owner) {}

void StreamSocket::RaiseErrno(int error) {
  throw NetworkError(NetworkCodeFromErrno(error));
}

void StreamSocket::CheckTimeOutAndCancel() {
  if (TimedOut()) {
    throw TimedOutError();
  }
  if (canceled_) {
    throw CanceledError();
  }
}

void StreamSocket::ResetState() {
  connected_ = false;
  closedByPeer_ = false;
  canceled_ = false;
  SetAsyncError(0);
  RestartCounting();
}

void StreamSocket::Disconnect() {
  if (Socket() == -1) {
    return;
  }
  const int handle = Socket();
  // Idle before anyone hears of it, so a handler that asks finds the
  // socket closed and a second Disconnect does nothing.
  DropNotifications();
  SetSocket(-1);
  SetLastResult(::close(handle));
  emit disconnected(*this);
}

void StreamSocket::Cancel() {
  if (Blocking()) {
    // Unblocks a call waiting in another context.
    if (Socket() != -1) {
      ::shutdown(Socket(), SHUT_RDWR);
    }
  } else {
    StopCounting();
  }
  canceled_ = true;
  Disconnect();
}

void StreamSocket::HandleReadable() {
  emit dataAvailable(*this);
}

void StreamSocket::HandleWritable() {
  emit readyToSend(*this);
}

void StreamSocket::HandleUrgentData() {
  emit outOfBandData(*this);
}

void StreamSocket::HandleConnected() {
  connected_ = true;
  emit connected(*this);
}

void StreamSocket::HandlePeerClosed() {
  closedByPeer_ = true;
  emit disconnected(*this);
}

StreamSocket::NextPass StreamSocket::AfterFailedCall(int error, bool sending) {
  if (error == EINTR) {
    return NextPass::kRetry;
  }
  if (!Blocking() && WouldBlock(error)) {
    if (sending) {
      WatchWrite();
    } else {
      WatchRead();
    }
    return NextPass::kWait;
  }
  // A cancel or time-out of a non-blocking socket shows as an error of the
  // closed descriptor; the loop reports it as what it is.
  if (Blocking() || (!canceled_ && !TimedOut())) {
    StopCounting();
    RaiseErrno(error);
  }
  return NextPass::kRetry;
}

void StreamSocket::SendStream(QIODevice& stream, int64_t start) {
  stream.seek(start);
  const int64_t size = stream.size();
  std::vector<char> piece(kPieceSize);
  for (;;) {
    const int64_t count = std::max<int64_t>(stream.read(piece.data(), kPieceSize), 0);
    SendBuffer(piece.data(), count);
    const int64_t position = stream.pos();
    emit transferProgress(*this, Percent(position, size), position, -1);
    if (count < kPieceSize) {
      break;
    }
  }
}

void StreamSocket::SendBuffer(const char* buffer, int64_t count) {
  StartCounting();
  int64_t sent = 0;
  while (sent < count) {
    if (canceled_ || TimedOut()) {
      break;
    }
    const ssize_t result = ::send(Socket(), buffer + sent, static_cast<size_t>(count - sent),
                                  MSG_NOSIGNAL);  // a gone peer is an error, not a signal
    SetLastResult(result);
    bool wait = false;
    if (result < 0) {
      wait = AfterFailedCall(errno, true) == NextPass::kWait;
    } else {
      RestartCounting();
      sent += result;
    }
    EndPass(wait);
  }
  StopCounting();
  CheckTimeOutAndCancel();
}

QString StreamSocket::ReadLine() {
  return ReadLineWithin(nullptr);
}

bool StreamSocket::StillReceiving() {
  if (canceled_) {
    StopCounting();
    throw CanceledError();
  }
  return !TimedOut();
}

void StreamSocket::PeerClosedStream() {
  closedByPeer_ = true;
  PostPeerClose();
}

QString StreamSocket::ReadLineWithin(int64_t* budget, bool* ended) {
  if (ended != nullptr) {
    *ended = false;
  }
  std::string line = ReceiveLine(budget);
  if (Pause() >= 0) {
    QThread::msleep(static_cast<unsigned long>(Pause()));
  }
  StopCounting();
  CheckTimeOutAndCancel();
  if (!line.empty() && line.back() == '\n') {
    line.pop_back();
    if (ended != nullptr) {
      *ended = true;
    }
  }
  const size_t carriageReturn = line.find('\r');
  if (carriageReturn != std::string::npos) {
    line.erase(carriageReturn, 1);
  }
  return QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
}

std::string StreamSocket::ReceiveLine(int64_t* budget) {
  std::string line;
  StartCounting();
  while (StillReceiving()) {
    // One byte per call, so the socket stays at the first byte after the
    // line.
    char byte = 0;
    const ssize_t result = ::recv(Socket(), &byte, 1, 0);
    SetLastResult(result);
    bool wait = false;
    bool done = false;
    if (result < 0) {
      wait = AfterFailedCall(errno, false) == NextPass::kWait;
    } else if (result == 0) {
      RestartCounting();
      PeerClosedStream();
      done = true;
    } else {
      RestartCounting();
      AppendLineByte(line, byte, budget);
      done = byte == '\n';
    }
    EndPass(wait);
    if (done) {
      break;
    }
  }
  return line;
}

void StreamSocket::AppendLineByte(std::string& line, char byte, int64_t* budget) {
  // A line longer than the buffer is refused rather than cut: the rest of
  // it would be read as the next line.
  if (line.size() >= static_cast<size_t>(kLineCapacity) || (budget != nullptr && *budget <= 0)) {
    StopCounting();
    throw SocketError(kStreamError);
  }
  line.push_back(byte);
  if (budget != nullptr) {
    --*budget;
  }
}

void StreamSocket::WriteOrFail(QIODevice& stream, const char* data, int64_t count) {
  if (stream.write(data, count) != count) {
    throw SocketError(kStreamError);
  }
}

void StreamSocket::ReceiveStream(QIODevice& stream, int64_t length, int64_t start) {
  Receive(stream, length, start, 0);
}

void StreamSocket::Receive(QIODevice& stream, int64_t length, int64_t start, int64_t origin) {
  stream.seek(start);
  if (length == 0) {
    length = -1;
  }
  piece_.resize(kPieceSize);
  int64_t received = 0;
  bool done = false;
  StartCounting();
  while (StillReceiving()) {
    const int64_t want = length > 0 ? std::min<int64_t>(kPieceSize, length - received) : kPieceSize;
    const ssize_t result = ::recv(Socket(), piece_.data(), static_cast<size_t>(want), 0);
    SetLastResult(result);
    bool wait = false;
    if (result < 0) {
      wait = AfterFailedCall(errno, false) == NextPass::kWait;
    } else if (result > 0) {
      WriteOrFail(stream, piece_.data(), result);
      received += result;
      const int64_t position = stream.pos() - origin;
      emit transferProgress(*this, length > 0 ? Percent(position, length) : -1, position, -1);
      RestartCounting();
    } else {
      PeerClosedStream();
    }
    if (socketType_ == SOCK_STREAM) {
      done = result == 0 || (length > 0 && received >= length);
    } else {
      done = result >= 0;
    }
    EndPass(wait);
    if (done) {
      break;
    }
  }
  StopCounting();
  CheckTimeOutAndCancel();
  // A peer that closes before the announced length has cut the data short;
  // taking the piece as complete would pass on a damaged body.
  if (socketType_ == SOCK_STREAM && length > 0 && received < length) {
    throw SocketError(kStreamError);
  }
}

void StreamSocket::ReceiveChunked(QIODevice& stream) {
  stream.seek(0);
  for (;;) {
    const int64_t size = ParseChunkSize(ReadLine().trimmed());
    if (size == 0) {
      break;
    }
    // Straight onto the end of the target: no scratch copy of the chunk.
    const int64_t at = stream.size();
    Receive(stream, size, at, at);
    // The line end of the chunk. Anything else means the chunk was longer
    // than its size said.
    if (!ReadLine().isEmpty()) {
      throw SocketError(kStreamError);
    }
  }
  // The trailer, to its empty line, so nothing of the body stays unread;
  // bounded like the header.
  int64_t budget = kHeadLimit;
  while (!ReadLineWithin(&budget).isEmpty()) {
  }
}

}  // namespace velmar
