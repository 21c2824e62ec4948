#include "shell/widgets/window_accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>

#include "shell/widgets/main_window.h"

namespace velmar {

namespace {

// The caption of the label that names `widget` (its buddy), without its
// mnemonic mark and closing colon; empty when no label names it.
QString LabelOf(const QWidget& widget) {
  const QWidget* window = widget.window();
  for (const QLabel* label : window->findChildren<QLabel*>()) {
    if (label->buddy() == &widget) {
      QString text = label->text().remove(QLatin1Char('&')).trimmed();
      while (text.endsWith(QLatin1Char(':'))) {
        text.chop(1);
        text = text.trimmed();
      }
      return text;
    }
  }
  return {};
}

// A combo box that is named by its label and valued by its choice, with
// its list as its child and its popup as its action.
class ComboAccessible : public QAccessibleWidget {
 public:
  explicit ComboAccessible(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

  QString text(QAccessible::Text t) const override {
    const QString value = Combo()->currentText();
    switch (t) {
      case QAccessible::Name: {
        if (!Combo()->accessibleName().isEmpty()) {
          return Combo()->accessibleName();
        }
        const QString label = LabelOf(*Combo());
        return label.isEmpty() ? value : label;
      }
      case QAccessible::Value:
        return value;
      default:
        return QAccessibleWidget::text(t);
    }
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.expandable = true;
    s.expanded = Combo()->view()->isVisible();
    return s;
  }
  int childCount() const override { return 1; }
  QAccessibleInterface* child(int index) const override {
    return index == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child != nullptr && child->object() == Combo()->view() ? 0 : -1;
  }
  QStringList actionNames() const override {
    return Combo()->isEnabled() ? QStringList{showMenuAction(), pressAction()} : QStringList();
  }
  void doAction(const QString& action) override {
    if (!Combo()->isEnabled()) {
      return;
    }
    if (Combo()->view()->isVisible()) {
      Combo()->hidePopup();
    } else if (action == showMenuAction() || action == pressAction()) {
      Combo()->showPopup();
    }
  }

 private:
  QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("QComboBox")) {
    auto* combo = qobject_cast<QComboBox*>(object);
    return combo != nullptr && !combo->isEditable() ? new ComboAccessible(combo) : nullptr;
  }
  // A screen reader lists the meter's window as it does every program's
  // main window; a plain widget would be a filler.
  auto* window = dynamic_cast<MainWindow*>(object);
  return window == nullptr ? nullptr : new QAccessibleWidget(window, QAccessible::Window);
}

}  // namespace

void InstallWindowAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&Factory);
    return true;
  }();
  (void)installed;
}

}  // namespace velmar
