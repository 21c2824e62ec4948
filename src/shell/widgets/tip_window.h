#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>

#include "config/settings_line.h"

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

// The text of a tip.
QString TipText(Tip tip);

}  // namespace velmar
