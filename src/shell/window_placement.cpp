#include "shell/window_placement.h"

#include "platform/registry.h"

namespace velmar {

void PlacementStore::SetKey(const QString& key) {
  key_ = key;
  while (key_.endsWith(QLatin1Char('\\'))) {
    key_.chop(1);
  }
}

void PlacementStore::Load(PlacementWindow& window) const {
  if (!enabled || store_ == nullptr) {
    return;
  }
  try {
    Registry reg(*store_);
    reg.SetRootKey(root);
    if (!reg.OpenKey(key_, false)) {
      return;
    }
    const QByteArray state = reg.ReadBinaryData(QStringLiteral("RCWindowState"));
    if (state.size() != 1) {
      return;
    }
    window.SetPlacementState(static_cast<uint8_t>(state[0]));
    if (static_cast<uint8_t>(state[0]) == PlacementWindow::kMaximised) {
      return;
    }
    const int left = reg.ReadInteger(QStringLiteral("RCLeft"));
    const int top = reg.ReadInteger(QStringLiteral("RCTop"));
    const int width = reg.ReadInteger(QStringLiteral("RCWidth"));
    const int height = reg.ReadInteger(QStringLiteral("RCHeight"));
    window.SetPlacement(QRect(left, top, width, height));
  } catch (const Exception&) {
    // A missing or mistyped value ends the load; the window keeps what
    // was applied so far.
  }
}

void PlacementStore::Save(const PlacementWindow& window) const {
  if (!enabled || store_ == nullptr) {
    return;
  }
  try {
    Registry reg(*store_);
    reg.SetRootKey(root);
    if (!reg.OpenKey(key_, true)) {
      return;
    }
    const QRect r = window.Placement();
    reg.WriteInteger(QStringLiteral("RCLeft"), r.left());
    reg.WriteInteger(QStringLiteral("RCTop"), r.top());
    reg.WriteInteger(QStringLiteral("RCWidth"), r.width());
    reg.WriteInteger(QStringLiteral("RCHeight"), r.height());
    reg.WriteBinaryData(QStringLiteral("RCWindowState"),
                        QByteArray(1, static_cast<char>(window.PlacementState())));
  } catch (const Exception&) {
    // The place is a convenience; a read-only store must not stop a close.
  }
}

}  // namespace velmar
