#include "platform/widgets/readout.h"

#include <QAccessibleWidget>
#include <QFontMetrics>

namespace velmar {

namespace {

// The accessible side of a Readout: a leaf (its digits and points are no
// objects of their own) with a value and a read-only text.
class ReadoutAccessible : public QAccessibleWidget,
                          public QAccessibleValueInterface,
                          public QAccessibleTextInterface {
 public:
  ReadoutAccessible(QWidget* widget, const Readout& readout)
      : QAccessibleWidget(widget, readout.ReadoutRole()), readout_(readout) {}

  int childCount() const override { return 0; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) {
      return readout_.ReadoutText();
    }
    if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty()) {
      return widget()->toolTip();
    }
    return QAccessibleWidget::text(t);
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) {
      return static_cast<QAccessibleValueInterface*>(this);
    }
    if (type == QAccessible::TextInterface) {
      return static_cast<QAccessibleTextInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
  }

  // QAccessibleValueInterface: read-only.
  QVariant currentValue() const override { return readout_.ReadoutValue(); }
  void setCurrentValue(const QVariant&) override {}
  QVariant maximumValue() const override { return readout_.ReadoutMaximum(); }
  QVariant minimumValue() const override { return 0.0; }
  QVariant minimumStepSize() const override { return 0.0; }

  // QAccessibleTextInterface: the value's text, read-only, no caret.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int start, int end) const override {
    return readout_.ReadoutText().mid(start, end - start);
  }
  int characterCount() const override { return static_cast<int>(readout_.ReadoutText().size()); }
  QRect characterRect(int) const override { return rect(); }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int, int* start, int* end) const override {
    *start = 0;
    *end = characterCount();
    return {};
  }

 private:
  const Readout& readout_;
};

QAccessibleInterface* ReadoutFactory(const QString& /*className*/, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  const auto* readout = dynamic_cast<const Readout*>(object);
  if (widget == nullptr || readout == nullptr) {
    return nullptr;
  }
  return new ReadoutAccessible(widget, *readout);
}

ValueAnnouncer::Sink& RoutedSink() {
  static ValueAnnouncer::Sink sink;
  return sink;
}

void Send(QAccessibleEvent& event) {
  if (RoutedSink()) {
    RoutedSink()(event);
  } else {
    QAccessible::updateAccessibility(&event);
  }
}

}  // namespace

void InstallReadoutAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&ReadoutFactory);
    return true;
  }();
  (void)installed;
}

ValueAnnouncer::ValueAnnouncer(QWidget& control, const Readout& readout, int intervalMs)
    : control_(control), readout_(readout), intervalMs_(intervalMs) {
  pending_.setSingleShot(true);
  QObject::connect(&pending_, &QTimer::timeout, &control_, [this] { Announce(); });
}

void ValueAnnouncer::RouteTo(Sink sink) {
  RoutedSink() = std::move(sink);
}

void ValueAnnouncer::Changed() {
  if (!QAccessible::isActive() && !RoutedSink()) {
    return;
  }
  if (!last_.isValid() || last_.elapsed() >= intervalMs_) {
    Announce();
  } else if (!pending_.isActive()) {
    pending_.start(static_cast<int>(intervalMs_ - last_.elapsed()));
  }
}

void ValueAnnouncer::Announce() {
  last_.start();
  const QString text = readout_.ReadoutText();
  if (text == told_) {
    return;
  }
  QAccessibleValueChangeEvent value(&control_, readout_.ReadoutValue());
  Send(value);
  QAccessibleTextUpdateEvent update(&control_, 0, told_, text);
  Send(update);
  told_ = text;
}

}  // namespace velmar
