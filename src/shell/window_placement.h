#pragma once

#include <QRect>
#include <QString>

#include "platform/key_store.h"

namespace velmar {

// The window whose place is kept.
class PlacementWindow {
 public:
  enum State : uint8_t { kNormal = 0, kMinimised = 1, kMaximised = 2 };
  virtual ~PlacementWindow() = default;
  virtual QRect Placement() const = 0;  // left, top, width, height
  virtual void SetPlacement(const QRect& rect) = 0;
  virtual uint8_t PlacementState() const = 0;
  virtual void SetPlacementState(uint8_t state) = 0;
};

// Keeps a window's position, size and state in the key store: "RCLeft",
// "RCTop", "RCWidth", "RCHeight" as integers and "RCWindowState" as one
// binary byte.
class PlacementStore {
 public:
  explicit PlacementStore(KeyStore* store) : store_(store) {}

  bool enabled = true;
  KeyRoot root = KeyRoot::kUser;
  // A trailing backslash is dropped.
  void SetKey(const QString& key);
  QString Key() const { return key_; }

  // Applies what is stored; stops silently at the first thing missing or
  // unreadable, keeping what was applied.
  void Load(PlacementWindow& window) const;
  // Writes the window's current place; failures are ignored.
  void Save(const PlacementWindow& window) const;

 private:
  KeyStore* store_;
  QString key_ = QStringLiteral("\\Software\\Default");
};

}  // namespace velmar
