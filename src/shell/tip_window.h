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

  bool DontRemind() const { return CheckBox1->isChecked(); }
  QCheckBox* DontRemindBox() { return CheckBox1; }
  QString Text() const { return Memo1->toPlainText(); }

  static TipWindow* Instance();

 private:
  QPlainTextEdit* Memo1;
  QCheckBox* CheckBox1;
};

// The texts of the tips, by number; empty for numbers without a tip.
QString TipText(int number);

}  // namespace velmar
