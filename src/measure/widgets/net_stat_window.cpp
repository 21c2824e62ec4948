#include "measure/widgets/net_stat_window.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QVBoxLayout>

namespace velmar {

namespace {

NetStatWindow* instance = nullptr;

const QColor kNavy(0, 0, 128);

// The notebook is 508 x 366 and the button 75 x 21, centred under it, in a
// 526 x 431 window; these margins give exactly that while the window keeps
// its first size, and let the pages grow with a window made larger.
constexpr int kSideMargin = 9;
constexpr int kTopMargin = 8;
constexpr int kGap = 18;
constexpr int kBottomMargin = 18;

// The system's fixed-pitch font at about the size of the small OEM terminal
// font the window was drawn for: an interface line of 78 characters fits the
// page without a horizontal scroll.
QFont PageFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(10);
  return font;
}

QPlainTextEdit* NewPage(const char* name) {
  auto* memo = new QPlainTextEdit;
  memo->setObjectName(QString::fromLatin1(name));
  memo->setReadOnly(true);
  // Every refresh replaces the whole text; there is nothing to undo.
  memo->setUndoRedoEnabled(false);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setFont(PageFont());
  QPalette palette = memo->palette();
  palette.setColor(QPalette::Text, kNavy);
  memo->setPalette(palette);
  return memo;
}

}  // namespace

NetStatWindow::NetStatWindow(InterfaceTable* table, ErrorHandler onError, QWidget* parent)
    : QDialog(parent), table_(table), onError_(std::move(onError)) {
  setObjectName(QStringLiteral("netStatWindow"));
  setWindowTitle(QStringLiteral("NetStat"));
  setModal(true);

  pages_ = new QTabWidget;
  pages_->setObjectName(QStringLiteral("pages"));
  QPalette tabs = pages_->tabBar()->palette();
  tabs.setColor(QPalette::WindowText, kNavy);
  tabs.setColor(QPalette::ButtonText, kNavy);
  pages_->tabBar()->setPalette(tabs);
  interfacePage_ = NewPage("interfacePage");
  tcpPage_ = NewPage("tcpPage");
  ipPage_ = NewPage("ipPage");
  pages_->addTab(interfacePage_, QStringLiteral("INTERFACE"));
  pages_->addTab(tcpPage_, QStringLiteral("TCP"));
  pages_->addTab(ipPage_, QStringLiteral("IP"));

  closeButton_ = new QPushButton(QStringLiteral("Close"));
  closeButton_->setObjectName(QStringLiteral("closeButton"));
  closeButton_->setFixedSize(75, 21);
  connect(closeButton_, &QPushButton::clicked, this, [this] { CloseWindow(); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kSideMargin, kTopMargin, kSideMargin, kBottomMargin);
  layout->setSpacing(kGap);
  layout->addWidget(pages_, 1);
  layout->addWidget(closeButton_, 0, Qt::AlignHCenter);

  setMinimumSize(kWidth, kHeight);
  resize(kWidth, kHeight);
  // Centred on the desktop, not over the main window, which may be small
  // or hidden in the tray.
  QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect desktop = screen->availableGeometry();
    move(desktop.center() - QPoint(kWidth / 2, kHeight / 2));
  }

  refreshTimer_.setObjectName(QStringLiteral("refreshTimer"));
  refreshTimer_.setInterval(kRefreshIntervalMs);
  connect(&refreshTimer_, &QTimer::timeout, this, [this] { Refresh(); });

  if (instance == nullptr) {
    instance = this;
  }
  FillPages();
}

NetStatWindow::~NetStatWindow() {
  // The process-wide reference goes with the window.
  refreshTimer_.stop();
  if (instance == this) {
    instance = nullptr;
  }
}

NetStatWindow* NetStatWindow::Instance() {
  return instance;
}

void NetStatWindow::FillPages() {
  // The pages are filled before the window first shows.
  Refresh();
}

void NetStatWindow::StartRefreshing() {
  refreshTimer_.start();
}

void NetStatWindow::StopRefreshing() {
  refreshTimer_.stop();
}

void NetStatWindow::CloseWindow() {
  close();
}

void NetStatWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  StartRefreshing();
}

// Every way a dialog goes away (Close, the close box, Escape, the end of the
// modal loop) hides it, so the timer stops here.
void NetStatWindow::hideEvent(QHideEvent* event) {
  StopRefreshing();
  QDialog::hideEvent(event);
}

void NetStatWindow::Refresh() {
  // The error report is a modal message with its own event loop, in which
  // this timer would fire again and stack one report on another every two
  // seconds. A tick that arrives while an earlier one runs is dropped, and
  // the timer rests during the tick, so the next attempt comes two seconds
  // after the report has been dismissed.
  if (refreshing_) {
    return;
  }
  refreshing_ = true;
  const bool timerWasActive = refreshTimer_.isActive();
  refreshTimer_.stop();
  QPointer<NetStatWindow> alive(this);
  const auto finish = qScopeGuard([&] {
    if (alive) {
      refreshing_ = false;
      if (timerWasActive && isVisible() && !refreshTimer_.isActive()) {
        refreshTimer_.start();
      }
    }
  });
  try {
    text_.Refresh(table_,
                  [this](NetStatText::Page page, const QString& text) { ShowPage(page, text); });
  } catch (const std::exception& error) {
    if (onError_) {
      onError_(error);
    }
  }
}

QPlainTextEdit* NetStatWindow::PageView(NetStatText::Page page) const {
  switch (page) {
    case NetStatText::Page::Interface:
      return interfacePage_;
    case NetStatText::Page::Tcp:
      return tcpPage_;
    case NetStatText::Page::Ip:
      break;
  }
  return ipPage_;
}

void NetStatWindow::ShowPage(NetStatText::Page page, const QString& text) {
  QString& shown = shown_[static_cast<size_t>(page)];
  if (shown == text) {
    return;
  }
  QPlainTextEdit* memo = PageView(page);
  // New text would scroll the page back to its top every two seconds; the
  // reader keeps the place they scrolled to.
  const int top = memo->verticalScrollBar()->value();
  const int left = memo->horizontalScrollBar()->value();
  memo->setUpdatesEnabled(false);
  memo->setPlainText(text);
  memo->verticalScrollBar()->setValue(top);
  memo->horizontalScrollBar()->setValue(left);
  memo->setUpdatesEnabled(true);
  shown = text;
}

}  // namespace velmar
