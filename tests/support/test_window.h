#pragma once

// The real main window for end-to-end tests: the real agent library, and
// settings, key store and autostart entry of the test's own directory.
#include <QTemporaryDir>
#include <memory>

#include "shell/widgets/main_window.h"

namespace velmar::test {

// `env` brings the test's seams; its paths are the directory's.
inline std::unique_ptr<MainWindow> MakeWindow(const QTemporaryDir& dir,
                                              MainWindow::Environment env = {}) {
  qputenv("VELMAR_REGISTRY", dir.filePath("registry.db").toUtf8());
  env.agentLibrary = QStringLiteral(VELMAR_BIN_DIR "/libmib2.so");
  env.settingsFile = dir.filePath("Velmarsettings.ini");
  env.autostartEntry = dir.filePath("velmar.desktop");
  auto form = std::make_unique<MainWindow>(env);
  form->Start();
  form->show();
  return form;
}

}  // namespace velmar::test
