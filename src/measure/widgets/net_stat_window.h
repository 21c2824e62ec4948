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

#include "measure/interface_table.h"
#include "measure/net_stat_text.h"

namespace velmar {

// The NetStat window: the interface, TCP connection and route tables of the
// main window's table component as fixed-width text on three pages,
// refreshed every 2 seconds while the window is shown. It has no table of its
// own: its refreshes and the measurement ticks take turns on the one
// component, and whichever ran last decides the rows it holds.
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
  QPlainTextEdit* InterfacePage() const { return interfacePage_; }
  QPlainTextEdit* TcpPage() const { return tcpPage_; }
  QPlainTextEdit* IpPage() const { return ipPage_; }
  QPushButton* CloseButton() const { return closeButton_; }
  const QTimer& RefreshTimer() const { return refreshTimer_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QPlainTextEdit* PageView(NetStatText::Page page) const;
  void ShowPage(NetStatText::Page page, const QString& text);

  // The component belongs to the main window, which may free it at shutdown
  // while this window is still open; from then on the agent counts as gone.
  QPointer<InterfaceTable> table_;
  ErrorHandler onError_;
  NetStatText text_;
  // What each page shows, so an unchanged table costs no relayout and
  // leaves the reader's selection alone.
  std::array<QString, 3> shown_;
  bool refreshing_ = false;
  QTabWidget* pages_ = nullptr;
  QPlainTextEdit* interfacePage_ = nullptr;
  QPlainTextEdit* tcpPage_ = nullptr;
  QPlainTextEdit* ipPage_ = nullptr;
  QPushButton* closeButton_ = nullptr;
  QTimer refreshTimer_;
};

}  // namespace velmar
