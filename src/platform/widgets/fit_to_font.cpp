#include "platform/widgets/fit_to_font.h"

#include <QAbstractButton>
#include <QLayout>

namespace velmar {

namespace {

bool InLayout(const QLayout& layout, const QWidget* widget) {
  for (int i = 0; i < layout.count(); ++i) {
    QLayoutItem* item = layout.itemAt(i);
    if (item->widget() == widget) {
      return true;
    }
    if (item->layout() != nullptr && InLayout(*item->layout(), widget)) {
      return true;
    }
  }
  return false;
}

bool PlacedByLayout(const QWidget& widget) {
  const QWidget* parent = widget.parentWidget();
  return parent != nullptr && parent->layout() != nullptr && InLayout(*parent->layout(), &widget);
}

int ScaledLimit(const FontScale& scale, int limit) {
  return limit >= QWIDGETSIZE_MAX ? QWIDGETSIZE_MAX : scale(limit);
}

// The limits first, so the new geometry is not held back by the old ones.
void ScaleLimits(QWidget& widget, const FontScale& scale) {
  const QSize minimum = widget.minimumSize();
  const QSize maximum = widget.maximumSize();
  widget.setMinimumSize(0, 0);
  widget.setMaximumSize(ScaledLimit(scale, maximum.width()), ScaledLimit(scale, maximum.height()));
  widget.setMinimumSize(scale.Size(minimum));
}

void Fit(QWidget& widget, const FontScale& scale) {
  for (QObject* object : widget.children()) {
    auto* child = qobject_cast<QWidget*>(object);
    if (child == nullptr || child->isWindow()) {
      continue;
    }
    if (!PlacedByLayout(*child)) {
      // Taken first: a grown minimum size would already stretch it.
      const QRect design = child->geometry();
      ScaleLimits(*child, scale);
      child->setGeometry(scale.Rect(design));
    }
    if (auto* button = qobject_cast<QAbstractButton*>(child)) {
      button->setIconSize(scale.Size(button->iconSize()));
    }
    if (auto* scaled = dynamic_cast<FontScaled*>(child)) {
      scaled->SetFontScale(scale);
    }
    Fit(*child, scale);
  }
}

}  // namespace

FontScale FitToFont(QWidget& window) {
  const FontScale scale = FontScale::Of(window.font());
  if (scale.IsDesign()) {
    return scale;
  }
  const QSize design = window.size();
  Fit(window, scale);
  ScaleLimits(window, scale);
  window.resize(scale.Size(design));
  if (auto* scaled = dynamic_cast<FontScaled*>(&window)) {
    scaled->SetFontScale(scale);
  }
  return scale;
}

}  // namespace velmar
