#include "shell/widgets/xembed_tray.h"

#include <xcb/xcb.h>

#include <QByteArray>
#include <QGuiApplication>
#include <cstdlib>

namespace velmar {

namespace {

// The screen number of DISPLAY (":1.0" is screen 0), as Xlib takes it.
int DisplayScreen() {
  const QByteArray display = qgetenv("DISPLAY");
  const qsizetype colon = display.lastIndexOf(':');
  const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
  return dot < 0 ? 0 : std::atoi(display.constData() + dot + 1);
}

}  // namespace

bool XEmbedTrayPresent() {
  auto* x11 =
      qGuiApp == nullptr ? nullptr : qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 == nullptr ? nullptr : x11->connection();
  if (connection == nullptr) {
    return false;
  }
  const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DisplayScreen());
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.constData()),
      nullptr);
  if (atom == nullptr) {
    return false;
  }
  xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
      connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
  const bool present = owner != nullptr && owner->owner != XCB_NONE;
  std::free(owner);
  std::free(atom);
  return present;
}

}  // namespace velmar
