#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "shell/widgets/main_window.h"
#include "support/fake_agent_control.h"
#include "support/scripted_ui.h"

namespace velmar::test {

// The main window over the scripted agent (interfaces lo and eth0), with
// settings of its own; one key store for the test binary.
class MeterWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static QTemporaryDir storeDir;
    qputenv("VELMAR_REGISTRY", storeDir.filePath("registry.db").toUtf8());
  }

  std::unique_ptr<MainWindow> MakeMainWindow() {
    MainWindow::Environment env;
    env.agentLibrary = FakeAgentPath();
    env.settingsFile = dir.filePath("Velmarsettings.ini");
    env.executablePath = "/opt/velmar/velmar";
    env.autostartEntry = dir.filePath("velmar.desktop");
    agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "eth0"}});
    auto form = std::make_unique<MainWindow>(env);
    form->Start();
    return form;
  }

  QTemporaryDir dir;
  FakeAgent agent;
  ScriptedUi ui;
};

}  // namespace velmar::test
