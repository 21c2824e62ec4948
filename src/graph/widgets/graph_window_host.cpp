#include "graph/widgets/graph_window_host.h"

namespace velmar {

GraphWindowHost::~GraphWindowHost() {
  // Deleting the window closes nothing, so it says nothing more here.
  delete GraphWindow::Current();
  feeder_.Detach();
}

void GraphWindowHost::ShowGraph(uint8_t mode) {
  feeder_.GraphMode = mode;
  GraphWindow* window = GraphWindow::Current();
  if (window == nullptr) {
    window = new GraphWindow;
    connect(window, &GraphWindow::TipDue, this, &GraphWindowHost::TipDue);
    connect(window, &GraphWindow::CloseRequested, this, &GraphWindowHost::CloseRequested);
    connect(window, &GraphWindow::Closed, this, [this] { Forget(); });
    feeder_.Attach(&window->Graph());
    Q_EMIT FeedChanged(&feeder_);
  }
  window->show();
  window->raise();
  window->activateWindow();
}

void GraphWindowHost::CloseGraph() {
  if (GraphWindow* window = GraphWindow::Current()) {
    window->close();
  }
}

void GraphWindowHost::Forget() {
  feeder_.Detach();
  Q_EMIT FeedChanged(nullptr);
}

}  // namespace velmar
