#pragma once

// Checks of what a window drew, measured on the picture Qt made of it (at
// the screen's device pixel ratio): every caption reaches WCAG AA contrast
// against what is behind it, disabled ones look disabled, and none is cut
// (its ink covers as much as the same text drawn free).

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegion>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/paint/contrast.h"
#include "platform/widgets/elided_label.h"

namespace velmar::test {

// What a picture shows in one area: its most common colour (the background),
// the colour standing out most from it (the ink) and where the ink lies.
struct InkMeasure {
  QColor background;
  QColor ink;
  double contrast = 1;
  QRect box;  // in the picture's pixels; empty without ink
};

inline InkMeasure MeasureInk(const QImage& picture, QRect area) {
  InkMeasure m;
  area &= picture.rect();
  if (area.isEmpty()) {
    return m;
  }
  QHash<QRgb, int> counts;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      ++counts[picture.pixel(x, y) | 0xff000000u];
    }
  }
  QRgb mode = 0;
  int most = -1;
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
    if (it.value() > most) {
      most = it.value();
      mode = it.key();
    }
  }
  m.background = QColor::fromRgb(mode);
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
    const double c = ContrastRatio(QColor::fromRgb(it.key()), m.background);
    if (c > m.contrast) {
      m.contrast = c;
      m.ink = QColor::fromRgb(it.key());
    }
  }
  // Ink: pixels at least a third of the way from the background to the
  // ink in each channel's sRGB value (the way text is blended), so the
  // antialiased edges of strokes count alike in the pictures compared.
  if (m.contrast < 1.2) {
    return m;
  }
  const auto distance = [](QRgb a, const QColor& b) {
    return std::max({std::abs(qRed(a) - b.red()), std::abs(qGreen(a) - b.green()),
                     std::abs(qBlue(a) - b.blue())});
  };
  const int threshold = std::max(1, distance(m.ink.rgb(), m.background) / 3);
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (distance(picture.pixel(x, y), m.background) >= threshold) {
        m.box |= QRect(x, y, 1, 1);
      }
    }
  }
  return m;
}

// One caption as a widget draws it.
struct Caption {
  QWidget* widget;
  QString text;
  QRect area;      // where it is drawn, in the widget's coordinates
  int flags;       // Qt::TextFlag of the drawing
  int wrapWidth;   // for wrapped text, the width it wraps in; else 0
  bool checkRoom;  // false where the text may scroll (line edits)
};

inline int MnemonicFlag(const QWidget& w) {
  return w.style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, &w) ? Qt::TextShowMnemonic
                                                                         : Qt::TextHideMnemonic;
}

// The captions of one visible widget.
inline std::vector<Caption> CaptionsOf(QWidget& w) {
  std::vector<Caption> out;
  if (auto* elided = dynamic_cast<ElidedLabel*>(&w)) {
    // What it draws: the text with its middle left out where it is too long.
    out.push_back({&w, elided->ShownText(), elided->contentsRect(), 0, 0, true});
  } else if (auto* label = qobject_cast<QLabel*>(&w)) {
    if (label->text().isEmpty() || label->textFormat() == Qt::RichText) {
      return out;
    }
    const bool wrap = label->wordWrap();
    const int flags =
        (label->buddy() != nullptr ? MnemonicFlag(w) : 0) | (wrap ? Qt::TextWordWrap : 0);
    out.push_back({&w, label->text(), label->contentsRect(), flags,
                   wrap ? label->contentsRect().width() : 0, true});
  } else if (auto* push = qobject_cast<QPushButton*>(&w)) {
    if (!push->text().isEmpty()) {
      out.push_back(
          {&w, push->text(), push->rect().adjusted(3, 3, -3, -3), MnemonicFlag(w), 0, true});
    }
  } else if (auto* button = qobject_cast<QAbstractButton*>(&w)) {
    QStyleOptionButton opt;
    opt.initFrom(button);
    opt.text = button->text();
    const bool radio = qobject_cast<QRadioButton*>(&w) != nullptr;
    const QRect contents = w.style()->subElementRect(
        radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &opt, &w);
    const bool wrap = button->hasHeightForWidth();
    out.push_back({&w, button->text(), contents, MnemonicFlag(w) | (wrap ? Qt::TextWordWrap : 0),
                   wrap ? contents.width() : 0, true});
  } else if (auto* group = qobject_cast<QGroupBox*>(&w)) {
    QStyleOptionGroupBox opt;
    opt.initFrom(group);
    opt.text = group->title();
    opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    opt.textAlignment = group->alignment();
    out.push_back(
        {&w, group->title(),
         w.style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, &w),
         MnemonicFlag(w), 0, true});
  } else if (auto* tabs = qobject_cast<QTabBar*>(&w)) {
    for (int i = 0; i < tabs->count(); ++i) {
      out.push_back({&w, tabs->tabText(i), tabs->tabRect(i).adjusted(4, 3, -4, -2), MnemonicFlag(w),
                     0, true});
    }
  } else if (auto* edit = qobject_cast<QLineEdit*>(&w)) {
    if (!edit->text().isEmpty() && edit->echoMode() == QLineEdit::Normal &&
        edit->parentWidget() != nullptr &&
        qobject_cast<QComboBox*>(edit->parentWidget()) == nullptr) {
      out.push_back({&w, edit->text(), edit->rect().adjusted(4, 3, -4, -3), 0, 0, false});
    }
  }
  return out;
}

// The part of `w`'s rectangle its ancestors let show, in window coordinates.
inline QRect VisibleRect(QWidget& w, QWidget& window, QRect local) {
  QRect r = QRect(w.mapTo(&window, local.topLeft()), local.size());
  for (QWidget* p = &w; p != nullptr && p != &window; p = p->parentWidget()) {
    r &= QRect(p->mapTo(&window, QPoint(0, 0)), p->size());
  }
  return r & window.rect();
}

// The part of `shown` (window coordinates, inside `w`) that no opaque
// sibling stacked above `w` or above one of its ancestors covers.
inline QRect Uncovered(QWidget& w, QWidget& window, QRect shown) {
  QRegion region(shown);
  for (QWidget* a = &w; a != nullptr && a != &window; a = a->parentWidget()) {
    QWidget* parent = a->parentWidget();
    if (parent == nullptr) {
      break;
    }
    const QObjectList& siblings = parent->children();
    for (auto i = siblings.indexOf(a) + 1; i < siblings.size(); ++i) {
      auto* above = qobject_cast<QWidget*>(siblings[i]);
      // Only what paints its whole background hides what lies below it.
      if (above != nullptr && above->isVisible() && !above->isWindow() &&
          (above->autoFillBackground() || above->testAttribute(Qt::WA_OpaquePaintEvent))) {
        region -= QRect(above->mapTo(&window, QPoint(0, 0)), above->size());
      }
    }
  }
  return region.boundingRect();
}

inline QRect ToPixels(QRect r, qreal ratio) {
  const int left = static_cast<int>(std::floor(r.left() * ratio));
  const int top = static_cast<int>(std::floor(r.top() * ratio));
  const int right = static_cast<int>(std::ceil((r.right() + 1) * ratio)) - 1;
  const int bottom = static_cast<int>(std::ceil((r.bottom() + 1) * ratio)) - 1;
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

// The ink box of `caption` drawn free, in the measured colours, at `ratio`.
inline QRect FreeInk(const Caption& caption, const InkMeasure& drawn, qreal ratio) {
  const QFontMetrics metrics(caption.widget->font());
  const int width = caption.wrapWidth > 0 ? caption.wrapWidth : 4000;
  const QRect bounds = metrics.boundingRect(QRect(0, 0, width, 4000), caption.flags, caption.text);
  const QSize logical(bounds.width() + 20, bounds.height() + 20);
  QImage free(logical * ratio, QImage::Format_RGB32);
  free.setDevicePixelRatio(ratio);
  free.fill(drawn.background);
  {
    QPainter p(&free);
    p.setFont(caption.widget->font());
    p.setPen(drawn.ink);
    p.drawText(QRect(10, 10, width, 4000), caption.flags, caption.text);
  }
  return MeasureInk(free, free.rect()).box;
}

// What is wrong with the captions `window` shows now: one line each,
// "<object name> "<text>": <what>". `minimum` is the contrast asked of
// enabled text.
inline QStringList LookProblems(QWidget& window, double minimum = 4.5) {
  QStringList problems;
  const QImage picture = window.grab().toImage();
  const qreal ratio = picture.devicePixelRatio();
  const int slack = static_cast<int>(std::ceil(ratio)) + 1;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (!w->isVisible() || w->isWindow()) {
      continue;
    }
    for (const Caption& c : CaptionsOf(*w)) {
      const QString plain = QString(c.text).remove(QLatin1Char('&')).trimmed();
      if (plain.isEmpty()) {
        continue;
      }
      const QString who = QStringLiteral("%1 \"%2\"").arg(w->objectName(), plain);
      const QRect inside = VisibleRect(*w, window, c.area);
      if (inside.isEmpty()) {
        problems << who + QStringLiteral(": not shown at all");
        continue;
      }
      const QRect shown = Uncovered(*w, window, inside);
      if (shown.isEmpty()) {
        continue;  // behind another control, as the sizer puts the tabs
      }
      const InkMeasure m = MeasureInk(picture, ToPixels(shown, ratio));
      if (m.box.isEmpty()) {
        problems << who + QStringLiteral(": no ink (contrast %1)").arg(m.contrast, 0, 'f', 2);
        continue;
      }
      if (w->isEnabled() && m.contrast < minimum) {
        problems << who + QStringLiteral(": contrast %1").arg(m.contrast, 0, 'f', 2);
      }
      if (!w->isEnabled()) {
        const QColor enabled = w->palette().color(QPalette::Active, w->foregroundRole());
        if (m.contrast > ContrastRatio(enabled, m.background) - 0.5) {
          problems << who + QStringLiteral(": disabled but drawn like enabled text");
        }
      }
      if (c.checkRoom) {
        const QRect free = FreeInk(c, m, ratio);
        if (m.box.width() + slack < free.width() || m.box.height() + slack < free.height()) {
          problems << who + QStringLiteral(": cut, ink %1x%2 of %3x%4")
                                .arg(m.box.width())
                                .arg(m.box.height())
                                .arg(free.width())
                                .arg(free.height());
        }
      }
    }
    if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && label->buddy() != nullptr &&
                                                !label->buddy()->isEnabled() &&
                                                label->isEnabled()) {
      problems << QStringLiteral("%1 \"%2\": the caption of a disabled field looks enabled")
                      .arg(label->objectName(), label->text());
    }
    if (auto* tabs = qobject_cast<QTabBar*>(w)) {
      const QRect last = tabs->tabRect(tabs->count() - 1);
      if (last.right() >= tabs->width()) {
        problems << QStringLiteral("%1: tab \"%2\" behind the scroll buttons")
                        .arg(tabs->objectName(), tabs->tabText(tabs->count() - 1));
      }
    }
  }
  return problems;
}

}  // namespace velmar::test
