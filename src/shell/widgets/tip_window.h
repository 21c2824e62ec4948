#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>

namespace velmar {

// The information tip: a picture, the text, "Close" and "Don't remind me
// again".
class TipWindow : public QDialog {
 public:
  explicit TipWindow(const QString& text, QWidget* parent = nullptr);
  ~TipWindow() override;

  bool DontRemind() const { return dontRemindBox_->isChecked(); }
  QCheckBox* DontRemindBox() { return dontRemindBox_; }
  QString Text() const { return text_->toPlainText(); }

  static TipWindow* Instance();

 private:
  QPlainTextEdit* text_;
  QCheckBox* dontRemindBox_;
};

// The texts of the tips, by number; empty for numbers without a tip.
QString TipText(int number);

}  // namespace velmar
