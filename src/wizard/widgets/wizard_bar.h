#pragma once

#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QString>
#include <QWidget>

#include "platform/widgets/fit_to_font.h"

namespace velmar {

// The button bar of a wizard: a 44-pixel strip at the bottom of its window
// that drives a page notebook with "Back", "Next", an end button and an
// optional help button. The end button reads `AbortCaption` before the last
// page and `ReadyCaption` on it. An optional "&Cancel" button stands to the
// right of the end button wherever that reads `ReadyCaption`, so a wizard
// can be left without finishing from every page. Its sizes are design
// pixels; a window fitted to a larger font scales them.
class WizardBar : public QWidget, public FontScaled {
  Q_OBJECT

 public:
  static constexpr int kHeight = 44;
  static constexpr QSize kButtonSize{75, 23};

  // With a parent, the bar keeps itself across the parent's bottom edge.
  explicit WizardBar(QWidget* parent = nullptr);
  ~WizardBar() override;

  QStackedWidget* NoteBook() const { return notebook_; }
  // Shows page 0 and sets the buttons for it; null detaches the bar.
  void SetNoteBook(QStackedWidget* notebook);

  QString BackCaption() const { return backCaption_; }
  void SetBackCaption(const QString& caption);
  QString NextCaption() const { return nextCaption_; }
  void SetNextCaption(const QString& caption);
  QString AbortCaption() const { return abortCaption_; }
  void SetAbortCaption(const QString& caption);
  QString ReadyCaption() const { return readyCaption_; }
  void SetReadyCaption(const QString& caption);
  QString HelpCaption() const { return helpCaption_; }
  void SetHelpCaption(const QString& caption);
  bool EnableHelp() const { return enableHelp_; }
  void SetEnableHelp(bool enable);
  bool EnableCancel() const { return enableCancel_; }
  void SetEnableCancel(bool enable);

  // The four buttons' clicks.
  void BackClick();
  void NextClick();
  void EndClick();
  void HelpClick();
  // Enables back and next for the current page and picks the end caption.
  void UpdateButtons();

  bool LastPage() const { return lastPage_; }
  QString ActivePageName() const { return activePageName_; }

  QPushButton* BackButton() const { return back_; }
  QPushButton* NextButton() const { return next_; }
  QPushButton* EndButton() const { return end_; }
  QPushButton* HelpButton() const { return help_; }
  QPushButton* CancelButton() const { return cancel_; }

  // FontScaled
  void SetFontScale(const FontScale& scale) override;

 Q_SIGNALS:
  // After a move by "Back" or "Next": the click, then PageChanged.
  // Emitted before a move, with `back` set when going back; a receiver
  // may change the target page index (connected directly: receivers run
  // in order and the last change holds). A target outside the notebook
  // keeps the current page.
  void PageChanging(bool back, int& target);
  void BackClicked();
  void NextClicked();
  void PageChanged();
  void EndClicked();
  void HelpClicked();
  void CancelClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PlaceButtons();
  void FollowParent();
  void Move(bool back);

  QPointer<QStackedWidget> notebook_;
  QString backCaption_;
  QString nextCaption_;
  QString abortCaption_;
  QString readyCaption_;
  QString helpCaption_;
  bool enableHelp_ = true;
  bool enableCancel_ = false;
  bool lastPage_ = false;
  QString activePageName_;
  QPushButton* back_;
  QPushButton* next_;
  QPushButton* end_;
  QPushButton* help_;
  QPushButton* cancel_;
  FontScale scale_;
};

}  // namespace velmar
