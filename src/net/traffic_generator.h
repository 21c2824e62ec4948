#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

#include "measure/measurement_state.h"
#include "net/http_client.h"
#include "platform/tick_clock.h"

namespace velmar {

// Generate mode: the main window's HTTP client, its event handlers and the
// download that the calculation tick starts.
//
// The download runs nested in the event loop (the client keeps the queue
// running) but never inside the calculation timer's handler: Qt does not
// deliver a timer again while its handler runs, so a download inside the
// tick would stop the measurement until it ends. StartDownload therefore
// only queues the Get, which the event loop runs once the tick has
// returned; ticks then run nested inside the download and keep publishing.
// The window marks its tick handler with a TickScope, so a queue run that
// happens inside the tick (the averaging engine lets the queue run) does
// not start the download there either.
//
// A download that fails (refused, unknown host, time-out) is tried again
// by a later tick after a pause that doubles with each failure in a row,
// 1 s, 2 s, 4 s, ... up to a minute; a success or the user's Spy, SLEEP or
// ACTIVE starts over without a pause.
class TrafficGenerator : public QObject {
  Q_OBJECT

 public:
  static constexpr int kLongestPauseSeconds = 60;

  // Reads the mode and the busy flag from `state` and marks its handlers
  // in its section number; the flag itself is told by BusyChanged.
  explicit TrafficGenerator(MeasurementState& state, const TickClock& clock = SystemClock(),
                            QObject* owner = nullptr);
  // Cancels a running download. Destroy the generator only once the event
  // loop has returned from it (no Get may be on the stack).
  ~TrafficGenerator() override;

  // HTTPCli: bound to the handlers below, count-and-drop body, no
  // credentials, no User-Agent, 60 s time-out, non-blocking.
  HttpClient& HTTPCli() { return client_; }
  const HttpClient& HTTPCli() const { return client_; }

  // The settings' proxy, proxy port and URL (SettingsTarget's calls).
  void SetProxy(const QString& host) { client_.SetProxy(host); }
  void SetProxyPort(uint16_t port) { client_.SetProxyPort(port); }
  void SetUrl(const QString& url) { client_.SetURL(url); }
  QString Url() const { return client_.URL(); }
  // TickHost::StartDownload: queues one Get when Generate mode is on,
  // measurement runs, no download is busy and none is queued or running,
  // and the pause after a failure is over. Returns at once.
  void StartDownload();
  // Cancels the running download (errors ignored) and drops a queued one:
  // Spy, SLEEP, a second ACTIVE, and the window's final close. A pause
  // after failures ends with it.
  void CancelDownload();

  // A Get is queued or running.
  bool Downloading() const { return queued_ || running_; }
  bool Running() const { return running_; }

  // Marks the calculation tick's handler for as long as it runs.
  class TickScope {
   public:
    explicit TickScope(TrafficGenerator& generator);
    ~TickScope();
    TickScope(const TickScope&) = delete;
    TickScope& operator=(const TickScope&) = delete;

   private:
    TrafficGenerator& generator_;
  };

  // Figures for tests and benchmarks.
  uint64_t DownloadsStarted() const { return started_; }
  uint64_t DownloadsEnded() const { return ended_; }
  uint64_t DownloadsFailed() const { return failed_; }
  // The status code, body size and error text of the last download.
  int LastStatus() const { return lastStatus_; }
  int64_t LastBodySize() const { return lastBodySize_; }
  QString LastError() const { return lastError_; }
  // Failures in a row, and the pause before the next try (0: none).
  int FailuresInARow() const { return failuresInARow_; }
  int PauseSeconds() const;

 Q_SIGNALS:
  // Each download has ended, however it went.
  void DownloadEnded();
  // A download failed (its error and the pause before the next try), and
  // the first success after failures: what the status bar says.
  void DownloadFailed(const QString& error, int pauseSeconds);
  void DownloadsRecovered();
  // Whether a download holds a connection: set while it connects and is
  // connected, cleared when it disconnects, fails or is cancelled. The
  // measurement keeps the flag (the tick and StartDownload read it), so
  // it must be connected directly to whoever keeps it.
  void BusyChanged(bool busy);

 private:
  void Post();
  void RunQueued();
  void RunDownload();
  bool MayStart() const;
  // The download failed: the client let go and the pause begun.
  void Failed();

  const MeasurementState& state_;
  SectionNumber& section_;
  const TickClock& clock_;
  HttpClient client_;
  bool queued_ = false;
  bool posted_ = false;
  bool running_ = false;
  bool cancelled_ = false;
  int tickDepth_ = 0;
  int failuresInARow_ = 0;
  uint32_t retryAtMs_ = 0;
  uint64_t started_ = 0;
  uint64_t ended_ = 0;
  uint64_t failed_ = 0;
  int lastStatus_ = 0;
  int64_t lastBodySize_ = 0;
  QString lastError_;
};

}  // namespace velmar
