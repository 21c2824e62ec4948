#include "graph_window_host.h"

namespace velmar {

GraphWindowHost::~GraphWindowHost() {
  if (TForm2* window = TForm2::Current()) {
    window->Closed = nullptr;
    window->ShowTip = nullptr;
    window->CloseRequested = nullptr;
    delete window;
  }
  feeder_.Detach();
}

void GraphWindowHost::ShowGraph(uint8_t mode) {
  feeder_.GraphMode = mode;
  TForm2* window = TForm2::Current();
  if (window == nullptr) {
    window = new TForm2;
    window->ShowTip = [this](uint8_t tip) {
      if (ShowTip) {
        ShowTip(tip);
      }
    };
    window->CloseRequested = [this] {
      if (Close1Click) {
        Close1Click();
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
  if (TForm2* window = TForm2::Current()) {
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
