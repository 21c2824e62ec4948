"""Scripted desktop services on a D-Bus session bus, for the window's tests:

    /usr/bin/python3 desktop_services.py watcher        a StatusNotifierWatcher
                                                         with one host (a tray)
    /usr/bin/python3 desktop_services.py notifications  a notification server
    /usr/bin/python3 desktop_services.py networkmanager IFACE=METERED...
                                                         NetworkManager's devices
                                                         (Metered: 1 yes, 2 no,
                                                         3 guess-yes, 4 guess-no)

Each prints {"ready": ...} once its name is owned, then one JSON line per
call it receives, and runs until it is terminated. And what a tray does
with an item, once:

    /usr/bin/python3 desktop_services.py activate ITEM      a left click
    /usr/bin/python3 desktop_services.py click ITEM LABEL   a menu entry

ITEM is the bus name the item registered with. Runs under the system's
python3, which has python3-dbus and python3-gi."""
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
NOTIFICATIONS = "org.freedesktop.Notifications"


def emit(**record):
    print(json.dumps(record), flush=True)


class Watcher(dbus.service.Object):
    """The tray side of StatusNotifierItem, with a host always there."""

    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.items = []

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        self.items.append(service)
        emit(call="RegisterStatusNotifierItem", service=str(service), sender=str(sender))
        self.StatusNotifierItemRegistered(service)

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    # Clients that read properties through introspection (Qt's
    # QDBusInterface) need them listed; dbus-python lists only methods and
    # signals.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, in_signature="", out_signature="s",
                         path_keyword="path", connection_keyword="connection")
    def Introspect(self, path, connection):
        xml = super().Introspect(path, connection)
        properties = (
            '<property name="RegisteredStatusNotifierItems" type="as" access="read"/>'
            '<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>'
            '<property name="ProtocolVersion" type="i" access="read"/>')
        marker = '<interface name="%s">' % WATCHER
        return xml.replace(marker, marker + properties)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }


class Notifications(dbus.service.Object):
    """org.freedesktop.Notifications: ids count up from 1; a replaces_id of
    a shown notification keeps its id."""

    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.last = 0

    @dbus.service.method(NOTIFICATIONS, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        if replaces_id != 0 and replaces_id <= self.last:
            nid = int(replaces_id)
        else:
            self.last += 1
            nid = self.last
        plain = {str(k): str(v) for k, v in hints.items()}
        emit(call="Notify", app_name=str(app_name), replaces_id=int(replaces_id),
             app_icon=str(app_icon), summary=str(summary), body=str(body),
             hints=plain, timeout=int(timeout), id=nid)
        return dbus.UInt32(nid)



NM = "org.freedesktop.NetworkManager"
NM_DEVICE = NM + ".Device"


class NetworkManager(dbus.service.Object):
    """GetDevices, and each device's Interface and Metered properties."""

    def __init__(self, bus, devices):
        super().__init__(bus, "/org/freedesktop/NetworkManager")
        self.devices = [Device(bus, n, name, int(metered))
                        for n, (name, metered) in enumerate(devices, 1)]

    @dbus.service.method(NM, in_signature="", out_signature="ao")
    def GetDevices(self):
        emit(call="GetDevices")
        return dbus.Array([d.path for d in self.devices], signature="o")


class Device(dbus.service.Object):
    def __init__(self, bus, number, name, metered):
        self.path = "/org/freedesktop/NetworkManager/Devices/%d" % number
        super().__init__(bus, self.path)
        self.props = {"Interface": dbus.String(name), "Metered": dbus.UInt32(metered)}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface != NM_DEVICE or name not in self.props:
            raise dbus.exceptions.DBusException("no property " + name,
                                                name="org.freedesktop.DBus.Error.InvalidArgs")
        return self.props[name]


ITEM_PATH = "/StatusNotifierItem"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


def activate(bus, service):
    item = bus.get_object(service, ITEM_PATH)
    item.Activate(0, 0, dbus_interface=ITEM)


def click(bus, service, label):
    """Finds the menu entry by its label (mnemonic marks ignored) in the
    item's exported menu and sends it the "clicked" event."""
    item = bus.get_object(service, ITEM_PATH)
    menu_path = item.Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
    menu = bus.get_object(service, menu_path)
    _, layout = menu.GetLayout(0, -1, ["label"], dbus_interface=MENU)
    for child in layout[2]:
        entry_id, properties = child[0], child[1]
        if str(properties.get("label", "")).replace("_", "").replace("&", "") == label:
            menu.Event(entry_id, "clicked", dbus.String("", variant_level=1), 0,
                       dbus_interface=MENU)
            return
    sys.exit("no menu entry " + label)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    kind = sys.argv[1]
    if kind == "activate":
        activate(bus, sys.argv[2])
        return
    if kind == "click":
        click(bus, sys.argv[2], sys.argv[3])
        return
    if kind == "watcher":
        name = dbus.service.BusName(WATCHER, bus)
        service = Watcher(bus)
    elif kind == "notifications":
        name = dbus.service.BusName(NOTIFICATIONS, bus)
        service = Notifications(bus)
    elif kind == "networkmanager":
        name = dbus.service.BusName(NM, bus)
        service = NetworkManager(bus, [a.split("=") for a in sys.argv[2:]])
    else:
        sys.exit("unknown service " + kind)
    emit(ready=kind)
    GLib.MainLoop().run()
    del name, service  # both live as long as the loop runs


if __name__ == "__main__":
    main()
