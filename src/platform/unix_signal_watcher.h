#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace velmar {

// Turns SIGINT and SIGTERM into a call on the event loop's thread, where it
// is safe to end the program in order.
class UnixSignalWatcher : public QObject {
 public:
  explicit UnixSignalWatcher(std::function<void(int signal)> handler, QObject* parent = nullptr);
  ~UnixSignalWatcher() override;

  // Readable while a caught signal waits for its handler, which runs from
  // the event queue: a loop that sleeps outside Qt's polls this.
  static int PendingDescriptor();

 private:
  std::function<void(int)> handler_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace velmar
