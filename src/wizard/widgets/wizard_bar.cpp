#include "wizard/widgets/wizard_bar.h"

#include <QEvent>
#include <QPainter>

namespace velmar {

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->resize(WizardBar::kButtonSize);
  return button;
}

}  // namespace

WizardBar::WizardBar(QWidget* parent)
    : QWidget(parent),
      backCaption_(QStringLiteral("< &Back")),
      nextCaption_(QStringLiteral("&Next >")),
      abortCaption_(QStringLiteral("&Cancel")),
      readyCaption_(QStringLiteral("&Finish")),
      helpCaption_(QStringLiteral("&Help")) {
  setObjectName(QStringLiteral("WizardBar"));
  setFixedHeight(kHeight);
  // Tab order follows the buttons from left to right.
  help_ = MakeButton(this, "HelpButton", helpCaption_);
  back_ = MakeButton(this, "BackButton", backCaption_);
  next_ = MakeButton(this, "NextButton", nextCaption_);
  end_ = MakeButton(this, "EndButton", readyCaption_);
  cancel_ = MakeButton(this, "CancelButton", QStringLiteral("&Cancel"));
  cancel_->setVisible(false);
  // Enter goes on to the next page.
  next_->setDefault(true);
  connect(back_, &QPushButton::clicked, this, [this] { BackClick(); });
  connect(next_, &QPushButton::clicked, this, [this] { NextClick(); });
  connect(end_, &QPushButton::clicked, this, [this] { EndClick(); });
  connect(help_, &QPushButton::clicked, this, [this] { HelpClick(); });
  connect(cancel_, &QPushButton::clicked, this, &WizardBar::CancelClicked);
  UpdateButtons();
  PlaceButtons();
  if (parent != nullptr) {
    parent->installEventFilter(this);
    FollowParent();
  }
}

WizardBar::~WizardBar() = default;

void WizardBar::SetNoteBook(QStackedWidget* notebook) {
  if (notebook_ != nullptr) {
    disconnect(notebook_, nullptr, this, nullptr);
  }
  notebook_ = notebook;
  if (notebook_ != nullptr) {
    // Pages shown from code (a wizard going back to its first page) keep
    // the buttons right as well, and a notebook that goes away leaves the
    // bar as if it never had one.
    connect(notebook_, &QStackedWidget::currentChanged, this, [this] { UpdateButtons(); });
    // A widget announces its end from its own destructor, before any guard
    // has noticed: drop it first, and stop listening to what it still says.
    connect(notebook_, &QObject::destroyed, this, [this](QObject* gone) {
      disconnect(gone, nullptr, this, nullptr);
      notebook_ = nullptr;
      UpdateButtons();
    });
    if (notebook_->count() > 0) {
      notebook_->setCurrentIndex(0);
    }
  }
  // Besides the enabled states, this also gives the first page of several
  // the abort caption rather than the ready caption left from before.
  UpdateButtons();
}

void WizardBar::SetBackCaption(const QString& caption) {
  backCaption_ = caption;
  back_->setText(caption);
}

void WizardBar::SetNextCaption(const QString& caption) {
  nextCaption_ = caption;
  next_->setText(caption);
}

void WizardBar::SetAbortCaption(const QString& caption) {
  abortCaption_ = caption;
  UpdateButtons();
}

void WizardBar::SetReadyCaption(const QString& caption) {
  readyCaption_ = caption;
  UpdateButtons();
}

void WizardBar::SetHelpCaption(const QString& caption) {
  helpCaption_ = caption;
  help_->setText(caption);
}

void WizardBar::SetEnableHelp(bool enable) {
  enableHelp_ = enable;
  help_->setVisible(enable);
}

void WizardBar::SetEnableCancel(bool enable) {
  enableCancel_ = enable;
  UpdateButtons();
}

void WizardBar::BackClick() {
  Move(true);
}

void WizardBar::NextClick() {
  Move(false);
}

void WizardBar::EndClick() {
  Q_EMIT EndClicked();
}

void WizardBar::HelpClick() {
  Q_EMIT HelpClicked();
}

void WizardBar::Move(bool back) {
  if (notebook_ == nullptr || notebook_->count() == 0) {
    return;
  }
  const int index = notebook_->currentIndex();
  const int last = notebook_->count() - 1;
  int target = index;
  if (back && index > 0) {
    target = index - 1;
  } else if (!back && index < last) {
    target = index + 1;
  }
  Q_EMIT PageChanging(back, target);
  if (notebook_ != nullptr && target >= 0 && target < notebook_->count()) {
    notebook_->setCurrentIndex(target);
  }
  UpdateButtons();
  if (back) {
    Q_EMIT BackClicked();
  } else {
    Q_EMIT NextClicked();
  }
  Q_EMIT PageChanged();
}

void WizardBar::UpdateButtons() {
  const int count = notebook_ != nullptr ? notebook_->count() : 0;
  const int index = notebook_ != nullptr ? notebook_->currentIndex() : -1;
  back_->setEnabled(index > 0);
  next_->setEnabled(index >= 0 && index < count - 1);
  // No page to go on to: the end button finishes.
  lastPage_ = index < 0 || index == count - 1;
  end_->setText(lastPage_ ? readyCaption_ : abortCaption_);
  end_->setEnabled(true);
  // Where the end button already cancels, a second one would say the same.
  const bool cancelShown = enableCancel_ && end_->text() == readyCaption_;
  if (cancelShown != cancel_->isVisibleTo(this)) {
    cancel_->setVisible(cancelShown);
    PlaceButtons();
  }
  activePageName_ = index >= 0 ? notebook_->currentWidget()->objectName() : QString();
}

void WizardBar::SetFontScale(const FontScale& scale) {
  scale_ = scale;
  PlaceButtons();
}

void WizardBar::PlaceButtons() {
  const int top = height() - scale_(31);
  // A cancel button takes the right-hand place and moves the rest left.
  const int right = width() - (cancel_->isVisibleTo(this) ? scale_(kButtonSize.width() + 10) : 0);
  help_->move(right - scale_(327), top);
  back_->move(right - scale_(243), top);
  next_->move(right - scale_(168), top);
  end_->move(right - scale_(83), top);
  cancel_->move(width() - scale_(83), top);
}

void WizardBar::FollowParent() {
  const QWidget* parent = parentWidget();
  setGeometry(0, parent->height() - height(), parent->width(), height());
  // A hidden bar gets its resize event only when shown; place the buttons
  // now so they are right whenever anyone looks.
  PlaceButtons();
}

void WizardBar::paintEvent(QPaintEvent* /*event*/) {
  // The etched line that separates the bar from the pages above it.
  QPainter p(this);
  p.setPen(palette().color(QPalette::Dark));
  const int y = height() - scale_(43);
  p.drawLine(scale_(9), y, width() - scale_(9), y);
  p.setPen(palette().color(QPalette::Light));
  p.drawLine(scale_(9), y + 1, width() - scale_(9), y + 1);
}

void WizardBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceButtons();
}

bool WizardBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) {
    FollowParent();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace velmar
