#pragma once

#include <QApplication>
#include <exception>
#include <functional>

namespace velmar {

// Every event and timer tick is dispatched inside a guard: an exception
// that a handler lets escape goes to the installed error report and the
// program goes on.
class VelmarApplication : public QApplication {
 public:
  VelmarApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  std::function<void(const std::exception&)> ExceptionHandler;
};

}  // namespace velmar
