#pragma once

#include <QAccessible>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace velmar {

// A control that shows a value without text a screen reader could read
// (seven-segment digits, a bar). Assistive technology gets its accessible
// name (QWidget::accessibleName, e.g. "Downstream speed"), its value as
// text ("25,672.10 Mb/s") and as a number, and none of its inner parts.
class Readout {
 public:
  virtual ~Readout() = default;
  virtual QString ReadoutText() const = 0;
  virtual double ReadoutValue() const = 0;
  virtual double ReadoutMaximum() const = 0;
  // StaticText for a number with its unit; ProgressBar for a bar.
  virtual QAccessible::Role ReadoutRole() const { return QAccessible::StaticText; }
};

// Makes Qt's accessibility ask the meter for the interface of every widget
// that is a Readout. Called by each readout's constructor; the first call
// installs it.
void InstallReadoutAccessibility();

// Tells assistive technology that a readout's value changed, at most once a
// second: displays that change twice a second would otherwise talk without
// pause. The latest value is always told, at the latest a second after the
// one before. Costs nothing while no assistive technology listens.
class ValueAnnouncer {
 public:
  static constexpr int kIntervalMs = 1000;

  // `intervalMs`: shorter only in tests, which would otherwise wait seconds.
  ValueAnnouncer(QWidget& control, const Readout& readout, int intervalMs = kIntervalMs);

  void Changed();
  // Whether a change waits for the interval to pass.
  bool Pending() const { return pending_.isActive(); }

  // Where the announcements go: Qt's accessibility (the default, and only
  // while assistive technology listens) or, for tests, `sink`.
  using Sink = std::function<void(QAccessibleEvent& event)>;
  static void RouteTo(Sink sink);

 private:
  void Announce();

  QWidget& control_;
  const Readout& readout_;
  const int intervalMs_;
  QElapsedTimer last_;
  QTimer pending_;
  QString told_;
};

}  // namespace velmar
