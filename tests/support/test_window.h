#pragma once

// The real main window for end-to-end tests: the real agent library, and
// settings, key store and autostart entry of the test's own directory.
#include <QTemporaryDir>
#include <memory>

#include "tform1.h"

namespace velmar::test {

inline std::unique_ptr<TForm1> MakeWindow(const QTemporaryDir& dir) {
  qputenv("VELMAR_REGISTRY", dir.filePath("registry.db").toUtf8());
  TForm1::Environment env;
  env.agentLibrary = QStringLiteral(VELMAR_BIN_DIR "/libmib2.so");
  env.settingsFile = dir.filePath("Velmarsettings.ini");
  env.autostartEntry = dir.filePath("velmar.desktop");
  auto form = std::make_unique<TForm1>(env);
  form->FormCreate();
  form->show();
  return form;
}

}  // namespace velmar::test
