#include "graph/widgets/graph_window_host.h"

namespace velmar {

GraphWindowHost::~GraphWindowHost() {
  if (GraphWindow* window = GraphWindow::Current()) {
    window->Closed = nullptr;
    window->ShowTip = nullptr;
    window->CloseRequested = nullptr;
    delete window;
  }
  feeder_.Detach();
}

void GraphWindowHost::ShowGraph(uint8_t mode) {
  feeder_.GraphMode = mode;
  GraphWindow* window = GraphWindow::Current();
  if (window == nullptr) {
    window = new GraphWindow;
    window->ShowTip = [this](Tip tip) {
      if (ShowTip) {
        ShowTip(tip);
      }
    };
    window->CloseRequested = [this] {
      if (CloseRequested) {
        CloseRequested();
      } else {
        CloseGraph();
      }
    };
    window->Closed = [this] { Forget(); };
    feeder_.Attach(&window->Graph());
    if (FeedChanged) {
      FeedChanged(&feeder_);
    }
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
  if (FeedChanged) {
    FeedChanged(nullptr);
  }
}

}  // namespace velmar
