#include "netstat/widgets/net_stat_window.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QVBoxLayout>
#include <QtMath>
#include <algorithm>

#include "measure/measurement_state.h"

namespace velmar {

namespace {

NetStatWindow* instance = nullptr;

const QColor kNavy(0, 0, 128);

// The notebook is 508 x 366 and the button 75 x 21, centred under it, in a
// 526 x 431 window; these margins give exactly that at the classic size,
// and let the pages grow with a window made larger.
constexpr int kSideMargin = 9;
constexpr int kTopMargin = 8;
constexpr int kGap = 18;
constexpr int kBottomMargin = 18;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 21;
// Lines of a page the window opens with, at least.
constexpr int kPageLines = 24;

// The system's fixed-pitch font at five sixths of the application font's
// pixel size: 10 pixels at the usual 12, about the small OEM terminal font
// the window was drawn for, and larger with a larger desktop font.
QFont PageFont(const QFont& base) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(std::max(8, QFontInfo(base).pixelSize() * 5 / 6));
  return font;
}

// A page: read-only fixed-pitch text whose preferred size shows every
// column of the widest page.
class PageText : public QPlainTextEdit {
 public:
  QSize sizeHint() const override {
    const QFontMetrics metrics(font());
    const int text =
        metrics.horizontalAdvance(QString(NetStatText::WidestHeading() + 1, QLatin1Char('0')));
    const int margins = 2 * frameWidth() + 2 * qCeil(document()->documentMargin());
    return {text + margins + verticalScrollBar()->sizeHint().width(),
            kPageLines * metrics.lineSpacing() + margins};
  }
};

struct PageSpec {
  NetStatText::Page page;
  const char* objectName;
  const char* caption;
  const char* accessibleName;
};

constexpr PageSpec kPages[] = {
    {NetStatText::Page::Interface, "interfacePage", "INTERFACE", "Interfaces"},
    {NetStatText::Page::Tcp, "tcpPage", "TCP", "TCP connections and listeners"},
    {NetStatText::Page::Udp, "udpPage", "UDP", "UDP endpoints"},
    {NetStatText::Page::Ip, "ipPage", "IP", "Routes"},
    {NetStatText::Page::Neighbours, "neighbourPage", "NEIGHBOURS", "Neighbours"},
    {NetStatText::Page::Addresses, "addressPage", "ADDRESSES", "Addresses"},
};

QPlainTextEdit* NewPage(const PageSpec& spec, const QFont& base) {
  auto* memo = new PageText;
  memo->setObjectName(QString::fromLatin1(spec.objectName));
  memo->setAccessibleName(QString::fromLatin1(spec.accessibleName));
  memo->setReadOnly(true);
  // Every refresh replaces the whole text; there is nothing to undo.
  memo->setUndoRedoEnabled(false);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setFont(PageFont(base));
  // Navy on a light page; a dark theme's own text colour on a dark one,
  // where navy could not be read.
  QPalette palette = memo->palette();
  if (palette.color(QPalette::Base).lightness() > 128) {
    palette.setColor(QPalette::Text, kNavy);
    memo->setPalette(palette);
  }
  return memo;
}

}  // namespace

NetStatWindow::NetStatWindow(InterfaceTable* table, ErrorHandler onError, QWidget* parent)
    : QDialog(parent), table_(table), onError_(std::move(onError)) {
  setObjectName(QStringLiteral("netStatWindow"));
  setWindowTitle(QStringLiteral("NetStat"));
  setAccessibleName(QStringLiteral("NetStat"));
  setModal(true);

  pages_ = new QTabWidget;
  pages_->setObjectName(QStringLiteral("pages"));
  pages_->setAccessibleName(QStringLiteral("Network tables"));
  // Navy captions on a light theme's tabs only, as on the pages.
  QPalette tabs = pages_->tabBar()->palette();
  if (tabs.color(QPalette::Button).lightness() > 128) {
    tabs.setColor(QPalette::WindowText, kNavy);
    tabs.setColor(QPalette::ButtonText, kNavy);
    pages_->tabBar()->setPalette(tabs);
  }
  for (const PageSpec& spec : kPages) {
    QPlainTextEdit* page = NewPage(spec, font());
    pageViews_[static_cast<size_t>(spec.page)] = page;
    pages_->addTab(page, QString::fromLatin1(spec.caption));
  }

  closeButton_ = new QPushButton(QStringLiteral("Close"));
  closeButton_->setObjectName(QStringLiteral("closeButton"));
  closeButton_->setAccessibleName(QStringLiteral("Close"));
  const QFontMetrics buttonMetrics(closeButton_->font());
  closeButton_->setFixedSize(
      std::max(kButtonWidth, buttonMetrics.horizontalAdvance(closeButton_->text()) +
                                 4 * buttonMetrics.averageCharWidth()),
      std::max(kButtonHeight, buttonMetrics.height() + 6));
  connect(closeButton_, &QPushButton::clicked, this, [this] { CloseWindow(); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kSideMargin, kTopMargin, kSideMargin, kBottomMargin);
  layout->setSpacing(kGap);
  layout->addWidget(pages_, 1);
  layout->addWidget(closeButton_, 0, Qt::AlignHCenter);

  setMinimumSize(kWidth, kHeight);
  const QSize size = DefaultSize();
  resize(size);
  // Centred on the desktop, not over the main window, which may be small
  // or hidden in the tray.
  QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect desktop = screen->availableGeometry();
    move(desktop.center() - QPoint(size.width() / 2, size.height() / 2));
  }

  refreshTimer_.setObjectName(QStringLiteral("refreshTimer"));
  refreshTimer_.setInterval(kRefreshIntervalMs);
  connect(&refreshTimer_, &QTimer::timeout, this, [this] { Refresh(); });

  if (instance == nullptr) {
    instance = this;
  }
  FillPages();
}

QSize NetStatWindow::DefaultSize() const {
  // The notebook's own hint covers the widest page and every tab.
  const QSize pages = pages_->sizeHint().expandedTo(pages_->tabBar()->sizeHint());
  const QSize wanted(pages.width() + 2 * kSideMargin,
                     pages.height() + kTopMargin + kGap + closeButton_->height() + kBottomMargin);
  return wanted.expandedTo(QSize(kWidth, kHeight));
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
    ReadPrograms();
    text_.Refresh(table_,
                  [this](NetStatText::Page page, const QString& text) { ShowPage(page, text); });
  } catch (const std::exception& error) {
    if (onError_) {
      onError_(error);
    }
  }
}

void NetStatWindow::ShowPrograms(const MeasurementState& state) {
  programs::ProgramFeed::Options options;
  options.helper =
      programs::FindCaptureHelper(QCoreApplication::applicationDirPath().toStdString());
  ShowPrograms(state, std::move(options));
}

void NetStatWindow::ShowPrograms(const MeasurementState& state,
                                 programs::ProgramFeed::Options options) {
  state_ = &state;
  // The window's own timer sets the beat.
  options.interval = std::chrono::milliseconds(kRefreshIntervalMs / 2);
  feed_ = std::make_unique<programs::ProgramFeed>(std::move(options));
  const PageSpec spec{NetStatText::Page::Tcp, "programsPage", "PROGRAMS", "Traffic per program"};
  programsView_ = NewPage(spec, font());
  pages_->addTab(programsView_, QString::fromLatin1(spec.caption));
  QPlainTextEdit* tcp = TcpPage();
  tcp->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(tcp, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { TcpMenu(at); });
  text_.SetConnectionBytes(&connectionBytes_, tcpSort_);
  Refresh();
}

void NetStatWindow::SortTcp(TcpSort sort) {
  tcpSort_ = sort;
  text_.SetConnectionBytes(&connectionBytes_, tcpSort_);
  Refresh();
}

void NetStatWindow::TcpMenu(const QPoint& at) {
  QMenu* menu = TcpPage()->createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  QMenu* sort = menu->addMenu(QStringLiteral("Sort by"));
  const std::pair<TcpSort, const char*> kSorts[] = {{TcpSort::kListed, "As listed"},
                                                    {TcpSort::kReceived, "Received"},
                                                    {TcpSort::kSent, "Sent"},
                                                    {TcpSort::kReceiveRate, "Down rate"},
                                                    {TcpSort::kTransmitRate, "Up rate"}};
  for (const auto& [order, caption] : kSorts) {
    QAction* action = sort->addAction(QString::fromLatin1(caption));
    action->setCheckable(true);
    action->setChecked(order == tcpSort_);
    connect(action, &QAction::triggered, this, [this, order = order] { SortTcp(order); });
  }
  menu->popup(TcpPage()->viewport()->mapToGlobal(at));
}

void NetStatWindow::ReadPrograms() {
  if (!feed_) {
    return;
  }
  feed_->Update(state_->CountedDownBytes, state_->CountedUpBytes,
                programs::ProgramFeed::Clock::now());
  connectionBytes_.Set(feed_->Connections());
  ShowText(programsView_, programsShown_,
           ProgramPageText::Page(feed_->Rows(), feed_->Precise(),
                                 QString::fromStdString(feed_->NotAttributedText()),
                                 state_->KilobitMode));
}

void NetStatWindow::ShowPage(NetStatText::Page page, const QString& text) {
  ShowText(PageView(page), shown_[static_cast<size_t>(page)], text);
}

void NetStatWindow::ShowText(QPlainTextEdit* memo, QString& shown, const QString& text) {
  if (shown == text) {
    return;
  }
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
