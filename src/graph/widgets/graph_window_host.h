#pragma once

#include <QObject>
#include <cstdint>

#include "graph/graph_feeder.h"
#include "graph/widgets/graph_window.h"

namespace velmar {

// The main window's side of the graph window: `GraphMode`, the window
// (created on demand, only one), and the feed the publication writes to
// while the window is open.
class GraphWindowHost : public QObject {
  Q_OBJECT

 public:
  GraphWindowHost() = default;
  // Frees an open graph window (the main window closes for good). The
  // feed it handed out goes with it without a FeedChanged: the
  // publication must not outlive the host.
  ~GraphWindowHost() override;

  // "&Live Data Graph" (1) and "Averages &History" (2): sets the mode,
  // creates the window if none is open, shows it and brings it forward.
  void ShowGraph(uint8_t mode);
  // "&Close": closes the window if one is open.
  void CloseGraph();

  GraphWindow* Window() const { return GraphWindow::Current(); }
  // The feed for the publication; null while no window is open.
  GraphFeed* Feed() { return feeder_.Target() != nullptr ? &feeder_ : nullptr; }
  uint8_t GraphMode() const { return feeder_.GraphMode; }

 Q_SIGNALS:
  // The window's tip is due, its "Close" was clicked (the window closes
  // after this unless a listener closed it already), and the feed the
  // publication is to write to changed (null: none).
  void TipDue(Tip tip);
  void CloseRequested();
  void FeedChanged(GraphFeed* feed);

 private:
  void Forget();

  GraphFeeder feeder_;
};

}  // namespace velmar
