#pragma once

#include <cstdint>
#include <functional>

#include "graph/graph_feeder.h"
#include "graph/widgets/graph_window.h"

namespace velmar {

// The main window's side of the graph window: `GraphMode`, the window
// (created on demand, only one), and the feed the publication writes to
// while the window is open.
class GraphWindowHost {
 public:
  GraphWindowHost() = default;
  // Frees an open graph window (the main window closes for good). The
  // feed it handed out goes with it without a call to FeedChanged: the
  // publication must not outlive the host.
  ~GraphWindowHost();
  GraphWindowHost(const GraphWindowHost&) = delete;
  GraphWindowHost& operator=(const GraphWindowHost&) = delete;

  // Set by the main window: its tip routine, its "&Close" handler (the
  // graph window's "Close" button runs it) and where the feed goes.
  std::function<void(Tip)> ShowTip;
  std::function<void()> CloseRequested;
  std::function<void(GraphFeed*)> FeedChanged;

  // "&Live Data Graph" (1) and "Averages &History" (2): sets the mode,
  // creates the window if none is open, shows it and brings it forward.
  void ShowGraph(uint8_t mode);
  // "&Close": closes the window if one is open.
  void CloseGraph();

  GraphWindow* Window() const { return GraphWindow::Current(); }
  // The feed for the publication; null while no window is open.
  GraphFeed* Feed() { return feeder_.Target() != nullptr ? &feeder_ : nullptr; }
  uint8_t GraphMode() const { return feeder_.GraphMode; }

 private:
  void Forget();

  GraphFeeder feeder_;
};

}  // namespace velmar
