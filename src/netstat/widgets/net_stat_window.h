#pragma once

#include <QDialog>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <array>
#include <exception>
#include <functional>
#include <memory>

#include "interfaces/interface_table.h"
#include "netstat/net_stat_text.h"
#include "netstat/program_page.h"
#include "programs/program_feed.h"

namespace velmar {

struct MeasurementState;

// The NetStat window: the tables of the main window's table component as
// fixed-width text on six pages (interfaces, TCP, UDP, routes, neighbours,
// addresses), refreshed every 2 seconds while the window is shown. It has no
// table of its own: its refreshes and the measurement ticks take turns on the
// one component, and whichever ran last decides the rows it holds.
//
// Its size comes from the fonts: the pages' fixed-pitch font follows the
// application's, and the window opens wide enough for the widest page's
// columns and all tabs, and no smaller than the classic 526 x 431.
class NetStatWindow : public QDialog {
 public:
  using ErrorHandler = std::function<void(const std::exception&)>;

  static constexpr int kWidth = 526;
  static constexpr int kHeight = 431;
  static constexpr int kRefreshIntervalMs = 2000;

  // `table` may be null; every refresh then reports the agent as not
  // available. `onError` is the application's error report: an error of a
  // refresh goes there and the window stays open. The pages are filled
  // before the constructor returns.
  NetStatWindow(InterfaceTable* table, ErrorHandler onError, QWidget* parent = nullptr);
  ~NetStatWindow() override;

  // The NetStat window that exists, or null while there is none.
  static NetStatWindow* Instance();

  // Handlers. The pages are filled on creation and refreshed by the timer
  // while the window shows; "Close" closes it.
  void FillPages();
  void StartRefreshing();
  void StopRefreshing();
  void CloseWindow();
  // One refresh of all three pages: the timer's tick.
  void Refresh();

  QTabWidget* Pages() const { return pages_; }
  QPlainTextEdit* PageView(NetStatText::Page page) const {
    return pageViews_[static_cast<size_t>(page)];
  }
  QPlainTextEdit* InterfacePage() const { return PageView(NetStatText::Page::Interface); }
  QPlainTextEdit* TcpPage() const { return PageView(NetStatText::Page::Tcp); }
  QPlainTextEdit* UdpPage() const { return PageView(NetStatText::Page::Udp); }
  QPlainTextEdit* IpPage() const { return PageView(NetStatText::Page::Ip); }
  QPlainTextEdit* NeighbourPage() const { return PageView(NetStatText::Page::Neighbours); }
  QPlainTextEdit* AddressPage() const { return PageView(NetStatText::Page::Addresses); }
  QPushButton* CloseButton() const { return closeButton_; }

  // This computer's traffic per program: a PROGRAMS page, and byte counts
  // and rates on the TCP page (sortable from its context menu), read at
  // each refresh while the window shows. `state` gives what the monitored
  // interfaces counted, for the "not attributed" row.
  void ShowPrograms(const MeasurementState& state);
  // The same with the feed's options given (which sockets count, the
  // helper to start).
  void ShowPrograms(const MeasurementState& state, programs::ProgramFeed::Options options);
  QPlainTextEdit* ProgramsPage() const { return programsView_; }
  void SortTcp(TcpSort sort);
  const QTimer& RefreshTimer() const { return refreshTimer_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // The size that shows every column of the widest page and every tab.
  QSize DefaultSize() const;
  void ShowPage(NetStatText::Page page, const QString& text);
  void ShowText(QPlainTextEdit* memo, QString& shown, const QString& text);
  void ReadPrograms();
  void TcpMenu(const QPoint& at);

  // The component belongs to the main window, which may free it at shutdown
  // while this window is still open; from then on the agent counts as gone.
  QPointer<InterfaceTable> table_;
  ErrorHandler onError_;
  NetStatText text_;
  // What each page shows, so an unchanged table costs no relayout and
  // leaves the reader's selection alone.
  std::array<QString, NetStatText::kPageCount> shown_;
  bool refreshing_ = false;
  QTabWidget* pages_ = nullptr;
  std::array<QPlainTextEdit*, NetStatText::kPageCount> pageViews_{};
  QPushButton* closeButton_ = nullptr;
  QTimer refreshTimer_;
  const MeasurementState* state_ = nullptr;
  std::unique_ptr<programs::ProgramFeed> feed_;
  ConnectionBytes connectionBytes_;
  TcpSort tcpSort_ = TcpSort::kListed;
  QPlainTextEdit* programsView_ = nullptr;
  QString programsShown_;
};

}  // namespace velmar
