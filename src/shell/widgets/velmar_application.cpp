#include "shell/widgets/velmar_application.h"

#include <QMetaMethod>
#include <cstdio>

namespace velmar {

VelmarApplication::VelmarApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool VelmarApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    if (isSignalConnected(QMetaMethod::fromSignal(&VelmarApplication::exceptionRaised))) {
      emit exceptionRaised(e);
    } else {
      std::fprintf(stderr, "Error: %s\n", e.what());
    }
  }
  return false;
}

}  // namespace velmar
