#pragma once

#include <QApplication>
#include <exception>

namespace velmar {

// Every event and timer tick is dispatched inside a guard: an exception
// that a handler lets escape goes to the installed error report and the
// program goes on.
class VelmarApplication : public QApplication {
  Q_OBJECT

 public:
  VelmarApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

 signals:
  // A handler let `error` escape; without a receiver it goes to standard
  // error.
  void exceptionRaised(const std::exception& error);
};

}  // namespace velmar
