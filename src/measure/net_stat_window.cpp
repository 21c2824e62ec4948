#include "net_stat_window.h"

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

NetStatWindow* netstatform = nullptr;

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

QPlainTextEdit* NewMemo(const char* name) {
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
  setObjectName(QStringLiteral("netstatform"));
  setWindowTitle(QStringLiteral("NetStat"));
  setModal(true);

  NoteBook = new QTabWidget;
  NoteBook->setObjectName(QStringLiteral("NoteBook"));
  QPalette tabs = NoteBook->tabBar()->palette();
  tabs.setColor(QPalette::WindowText, kNavy);
  tabs.setColor(QPalette::ButtonText, kNavy);
  NoteBook->tabBar()->setPalette(tabs);
  ifMemo = NewMemo("ifMemo");
  tcpMemo = NewMemo("tcpMemo");
  ipMemo = NewMemo("ipMemo");
  NoteBook->addTab(ifMemo, QStringLiteral("INTERFACE"));
  NoteBook->addTab(tcpMemo, QStringLiteral("TCP"));
  NoteBook->addTab(ipMemo, QStringLiteral("IP"));

  Button1 = new QPushButton(QStringLiteral("Close"));
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setFixedSize(75, 21);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kSideMargin, kTopMargin, kSideMargin, kBottomMargin);
  layout->setSpacing(kGap);
  layout->addWidget(NoteBook, 1);
  layout->addWidget(Button1, 0, Qt::AlignHCenter);

  setMinimumSize(kWidth, kHeight);
  resize(kWidth, kHeight);
  // Centred on the desktop, not over the main window, which may be small
  // or hidden in the tray.
  QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect desktop = screen->availableGeometry();
    move(desktop.center() - QPoint(kWidth / 2, kHeight / 2));
  }

  Timer1.setObjectName(QStringLiteral("Timer1"));
  Timer1.setInterval(kRefreshIntervalMs);
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

  if (netstatform == nullptr) {
    netstatform = this;
  }
  FormCreate();
}

NetStatWindow::~NetStatWindow() {
  // FormDestroy: the process-wide reference goes with the window.
  Timer1.stop();
  if (netstatform == this) {
    netstatform = nullptr;
  }
}

NetStatWindow* NetStatWindow::Instance() {
  return netstatform;
}

void NetStatWindow::FormCreate() {
  // The pages are filled before the window first shows.
  Timer1Timer();
}

void NetStatWindow::FormShow() {
  Timer1.start();
}

void NetStatWindow::FormClose() {
  Timer1.stop();
}

void NetStatWindow::Button1Click() {
  close();
}

void NetStatWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

// Every way a dialog goes away (Close, the close box, Escape, the end of the
// modal loop) hides it, so the timer stops here.
void NetStatWindow::hideEvent(QHideEvent* event) {
  FormClose();
  QDialog::hideEvent(event);
}

void NetStatWindow::Timer1Timer() {
  // The error report is a modal message with its own event loop, in which
  // this timer would fire again and stack one report on another every two
  // seconds. A tick that arrives while an earlier one runs is dropped, and
  // the timer rests during the tick, so the next attempt comes two seconds
  // after the report has been dismissed.
  if (refreshing_) {
    return;
  }
  refreshing_ = true;
  const bool timerWasActive = Timer1.isActive();
  Timer1.stop();
  QPointer<NetStatWindow> alive(this);
  const auto finish = qScopeGuard([&] {
    if (alive) {
      refreshing_ = false;
      if (timerWasActive && isVisible() && !Timer1.isActive()) {
        Timer1.start();
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

QPlainTextEdit* NetStatWindow::MemoOf(NetStatText::Page page) const {
  switch (page) {
    case NetStatText::Page::Interface:
      return ifMemo;
    case NetStatText::Page::Tcp:
      return tcpMemo;
    case NetStatText::Page::Ip:
      break;
  }
  return ipMemo;
}

void NetStatWindow::ShowPage(NetStatText::Page page, const QString& text) {
  QString& shown = shown_[static_cast<size_t>(page)];
  if (shown == text) {
    return;
  }
  QPlainTextEdit* memo = MemoOf(page);
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
