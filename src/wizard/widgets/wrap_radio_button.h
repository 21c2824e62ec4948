#pragma once

#include <QRadioButton>

namespace velmar {

// A radio button whose caption wraps onto further lines within its width,
// for the wizards' long choices.
class WrapRadioButton : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

 private:
  QRect TextRect(int width) const;
};

}  // namespace velmar
