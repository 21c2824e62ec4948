#pragma once

#include <QLabel>

namespace velmar {

// A one-line label that shows a text too long for it with an ellipsis in
// the middle, so both its beginning and its end stay readable (a status
// message ends in what matters: "next try in 4 s"). text() and the
// accessible name keep the whole text.
class ElidedLabel : public QLabel {
 public:
  using QLabel::QLabel;

  // The text as drawn at the label's width.
  QString ShownText() const;
  // Any width will do: the text gives way.
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace velmar
