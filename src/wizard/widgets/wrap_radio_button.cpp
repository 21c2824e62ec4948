#include "wizard/widgets/wrap_radio_button.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace velmar {

QRect WrapRadioButton::TextRect(int width) const {
  QStyleOptionButton opt;
  initStyleOption(&opt);
  opt.rect = QRect(0, 0, width, height());
  return style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, this);
}

int WrapRadioButton::heightForWidth(int width) const {
  const QRect contents = TextRect(width);
  const QRect text = fontMetrics().boundingRect(
      QRect(0, 0, contents.width(), 10000), Qt::TextWordWrap | Qt::TextShowMnemonic, this->text());
  QStyleOptionButton opt;
  initStyleOption(&opt);
  const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, &opt, this);
  return std::max(text.height(), indicator) + 4;
}

QSize WrapRadioButton::sizeHint() const {
  const QSize one = QRadioButton::sizeHint();
  return {one.width(), std::max(one.height(), heightForWidth(width()))};
}

void WrapRadioButton::paintEvent(QPaintEvent* /*event*/) {
  QStylePainter p(this);
  QStyleOptionButton opt;
  initStyleOption(&opt);
  const QString caption = opt.text;
  const bool focused = opt.state & QStyle::State_HasFocus;
  opt.text.clear();
  opt.state &= ~QStyle::State_HasFocus;
  p.drawControl(QStyle::CE_RadioButton, opt);
  const QRect contents = style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, this);
  const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
  p.drawItemText(contents, flags, palette(), isEnabled(), caption, QPalette::WindowText);
  if (focused) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = p.fontMetrics().boundingRect(contents, flags, caption).adjusted(-1, 0, 1, 0);
    p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

}  // namespace velmar
