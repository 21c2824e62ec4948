#include "net/traffic_generator.h"

#include "config/program_section.h"

#include <algorithm>
#include <exception>

#include "measure/analysis_control.h"
#include "platform/message_queue.h"

namespace velmar {

TrafficGenerator::TrafficGenerator(MeasurementState& state, const TickClock& clock, QObject* owner)
    : QObject(owner), state_(state), section_(state.ProgramSection), clock_(clock), client_(this) {
  client_.SetBodyMode(HttpClient::BodyMode::kCountAndDrop);
  connect(&client_, &ClientSocket::connecting, this, [this](StreamSocket&) {
    SectionScope here(section_, section::kDownloadConnecting);
    Q_EMIT BusyChanged(true);
  });
  connect(&client_, &StreamSocket::connected, this, [this](StreamSocket&) {
    SectionScope here(section_, section::kDownloadConnected);
    Q_EMIT BusyChanged(true);
  });
  connect(&client_, &StreamSocket::disconnected, this, [this](StreamSocket&) {
    SectionScope here(section_, section::kDownloadDisconnected);
    Q_EMIT BusyChanged(false);
  });
  connect(&client_, &StreamSocket::transferProgress, this,
          [this](StreamSocket&, int, int64_t, int) {
            SectionScope here(section_, section::kDownloadProgress);
            MessageQueue::RunNow();
          });
}

TrafficGenerator::~TrafficGenerator() {
  client_.disconnect(this);
  queued_ = false;
  try {
    client_.Cancel();
  } catch (const std::exception&) {
  }
}

bool TrafficGenerator::MayStart() const {
  // The tick count wraps; the difference read signed says which is later.
  const bool pausing =
      failuresInARow_ > 0 && static_cast<int32_t>(clock_.TickCount() - retryAtMs_) < 0;
  return state_.GenerateMode && state_.AnalysisActive && !state_.HttpBusy && !running_ && !pausing;
}

int TrafficGenerator::PauseSeconds() const {
  if (failuresInARow_ == 0) {
    return 0;
  }
  return std::min(kLongestPauseSeconds, 1 << std::min(failuresInARow_ - 1, 6));
}

void TrafficGenerator::StartDownload() {
  if (queued_ || !MayStart()) {
    return;
  }
  queued_ = true;
  if (tickDepth_ == 0) {
    Post();
  }
  // Inside a tick the scope's end posts it.
}

void TrafficGenerator::Post() {
  if (posted_) {
    return;
  }
  posted_ = true;
  QMetaObject::invokeMethod(this, &TrafficGenerator::RunQueued, Qt::QueuedConnection);
}

void TrafficGenerator::RunQueued() {
  posted_ = false;
  if (!queued_ || tickDepth_ > 0) {
    return;  // cancelled meanwhile, or a run of the queue inside the tick
  }
  queued_ = false;
  // The mode may have changed since the tick asked (Spy, SLEEP).
  if (!MayStart() || !AnalysisControl::HasAddress(client_.URL())) {
    return;
  }
  RunDownload();
}

void TrafficGenerator::RunDownload() {
  running_ = true;
  cancelled_ = false;
  ++started_;
  lastError_.clear();
  bool failed = false;
  try {
    lastStatus_ = client_.Get();
  } catch (const std::exception& error) {
    // Every failure of a download is Generate mode's own: no error report;
    // the status bar says it, and a later tick tries again.
    ++failed_;
    failed = true;
    lastStatus_ = -1;
    lastError_ = QString::fromUtf8(error.what());
  }
  lastBodySize_ = client_.BodySize();
  running_ = false;
  if (failed && !cancelled_) {
    Failed();
  } else if (!failed && failuresInARow_ > 0) {
    failuresInARow_ = 0;
    Q_EMIT DownloadsRecovered();
  }
  ++ended_;
  Q_EMIT DownloadEnded();
}

void TrafficGenerator::Failed() {
  // A connect that failed leaves the busy flag set (no disconnected signal
  // follows) and may leave its socket: let both go, or no tick would ever
  // start another download.
  try {
    client_.Cancel();
  } catch (const std::exception&) {
  }
  Q_EMIT BusyChanged(false);
  ++failuresInARow_;
  const int pause = PauseSeconds();
  retryAtMs_ = clock_.TickCount() + static_cast<uint32_t>(pause) * 1000U;
  Q_EMIT DownloadFailed(lastError_, pause);
}

void TrafficGenerator::CancelDownload() {
  queued_ = false;
  cancelled_ = running_;
  failuresInARow_ = 0;
  try {
    client_.Cancel();
  } catch (const std::exception&) {
  }
  // With a socket open, Cancel's disconnected signal has cleared the flag; a
  // download that failed before it had a socket would otherwise keep it
  // set, and Generate mode could never start again.
  Q_EMIT BusyChanged(false);
}

TrafficGenerator::TickScope::TickScope(TrafficGenerator& generator) : generator_(generator) {
  ++generator_.tickDepth_;
}

TrafficGenerator::TickScope::~TickScope() {
  if (--generator_.tickDepth_ == 0 && generator_.queued_) {
    generator_.Post();
  }
}

}  // namespace velmar
