#include "net/socket_base.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>

#include "net/socket_error.h"
#include "platform/message_queue.h"

namespace velmar {

SocketBase::SocketBase(QObject* owner)
    : QObject(owner),
      readNotifier_(QSocketNotifier::Read, this),
      writeNotifier_(QSocketNotifier::Write, this),
      outOfBandNotifier_(QSocketNotifier::Exception, this) {
  readNotifier_.setEnabled(false);
  writeNotifier_.setEnabled(false);
  outOfBandNotifier_.setEnabled(false);
  connect(&readNotifier_, &QSocketNotifier::activated, this, [this] { ReadReady(); });
  connect(&writeNotifier_, &QSocketNotifier::activated, this, [this] { WriteReady(); });
  connect(&outOfBandNotifier_, &QSocketNotifier::activated, this, [this] { OutOfBandReady(); });
}

SocketBase::~SocketBase() {
  DropNotifications();
  if (socket_ != -1) {
    ::close(socket_);
    socket_ = -1;
  }
}

void SocketBase::SetTimeOut(int seconds) {
  timeOut_ = seconds;
  if (counter_) {
    counter_->SetTimeOut(seconds);
  }
}

void SocketBase::SelectNotifications() {
  DropNotifications();
  ++generation_;
  selected_ = true;
  connectPending_ = true;
  closeReported_ = false;
  readNotifier_.setSocket(socket_);
  writeNotifier_.setSocket(socket_);
  outOfBandNotifier_.setSocket(socket_);
  WatchWrite();
}

void SocketBase::DropNotifications() {
  readNotifier_.setEnabled(false);
  writeNotifier_.setEnabled(false);
  outOfBandNotifier_.setEnabled(false);
  if (selected_) {
    ++generation_;
  }
  selected_ = false;
  connectPending_ = false;
}

void SocketBase::WatchRead() {
  if (selected_) {
    readNotifier_.setEnabled(true);
    outOfBandNotifier_.setEnabled(true);
  }
}

void SocketBase::WatchWrite() {
  if (selected_) {
    writeNotifier_.setEnabled(true);
  }
}

void SocketBase::ReadReady() {
  readNotifier_.setEnabled(false);
  if (!selected_ || readNotifier_.socket() != socket_) {
    return;
  }
  const uint64_t generation = generation_;
  SetAsyncError(0);
  HandleReadable();
  if (generation != generation_ || closeReported_) {
    return;  // closed meanwhile, or the close is known already
  }
  // The peer's close is told when it arrives, even with data still unread,
  // so a reader that waits for the close does not wait for the data first;
  // the kernel shows it as a read hang-up.
  pollfd probe{socket_, POLLIN | POLLRDHUP, 0};
  if (::poll(&probe, 1, 0) == 1 && (probe.revents & (POLLRDHUP | POLLHUP)) != 0 &&
      (probe.revents & POLLERR) == 0) {
    ReportPeerClose();
  }
}

void SocketBase::WriteReady() {
  writeNotifier_.setEnabled(false);
  if (!selected_ || writeNotifier_.socket() != socket_) {
    return;
  }
  if (connectPending_) {
    connectPending_ = false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
      error = errno;
    }
    SetAsyncError(error == 0 ? 0 : NetworkCodeFromErrno(error));
    if (error == 0) {
      HandleConnected();
    }
    return;
  }
  SetAsyncError(0);
  HandleWritable();
}

void SocketBase::OutOfBandReady() {
  outOfBandNotifier_.setEnabled(false);
  if (!selected_ || outOfBandNotifier_.socket() != socket_) {
    return;
  }
  SetAsyncError(0);
  HandleUrgentData();
}

void SocketBase::ReportPeerClose() {
  closeReported_ = true;
  SetAsyncError(0);
  HandlePeerClosed();
}

void SocketBase::PostPeerClose() {
  if (!selected_ || closeReported_) {
    return;
  }
  const uint64_t generation = generation_;
  QMetaObject::invokeMethod(
      this,
      [this, generation] {
        if (generation == generation_ && selected_ && !closeReported_) {
          ReportPeerClose();
        }
      },
      Qt::QueuedConnection);
}

void SocketBase::CreateTimeCounter() {
  if (!counter_) {
    counter_ = std::make_unique<IdleCountdown>();
  }
  counter_->SetTimeOut(timeOut_);
}

void SocketBase::FreeTimeCounter() {
  counter_.reset();
}

void SocketBase::StartCounting() {
  if (counter_) {
    counter_->StartCounting();
  }
}

void SocketBase::StopCounting() {
  if (counter_) {
    counter_->StopCounting();
  }
}

void SocketBase::RestartCounting() {
  if (counter_) {
    counter_->RestartCounting();
  }
}

bool SocketBase::TimedOut() const {
  return counter_ && counter_->TimedOut();
}

void SocketBase::WaitForEvents() {
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void SocketBase::EndPass(bool wait) {
  if (!blocking_) {
    if (wait) {
      WaitForEvents();
    } else {
      MessageQueue::RunNow();
    }
  }
  if (pause_ >= 0) {
    QThread::msleep(static_cast<unsigned long>(pause_));
  }
}

}  // namespace velmar
