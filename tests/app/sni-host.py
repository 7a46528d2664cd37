#!/usr/bin/python3
"""What a Plasma panel or a desktop shell offers the tray tests on the session
bus: a StatusNotifierWatcher with its host, and a notification server.
Prints "ready", then answers each command on stdin with one JSON line:
  items          the registered items, as "service/path"
  read           the first item's {"title", "tooltip", "pixmaps": [[w, h, hex], ...]},
                 pixels as a QImage ARGB32 holds them
  activate       calls the first item's Activate(0, 0); {"ok": true} on return
  notifications  [[summary, body], ...] received so far
"""
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
NOTIFY = "org.freedesktop.Notifications"

INTROSPECTION = """<node>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
 </interface>
</node>"""

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
items = []
notes = []


class Watcher(dbus.service.Object):
    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # An item names its bus name (its path is then the usual one) or its path.
        name, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
        key = name + path
        if key not in items:
            items.append(key)
        self.StatusNotifierItemRegistered(key)

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, key):
        pass

    # Clients read the properties through the introspected interface (Qt does).
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return {"RegisteredStatusNotifierItems": dbus.Array(items, signature="s"),
                "IsStatusNotifierHostRegistered": True,
                "ProtocolVersion": dbus.Int32(0)}[prop]


class Notifications(dbus.service.Object):
    @dbus.service.method(NOTIFY, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        notes.append([str(summary), str(body)])
        return dbus.UInt32(len(notes))



def item_proxy():
    name, _, path = items[0].partition("/")
    return bus.get_object(name, "/" + path)


def read():
    props = item_proxy().GetAll(ITEM, dbus_interface=dbus.PROPERTIES_IFACE, timeout=5)
    # IconPixmap is big-endian ARGB; QImage keeps each pixel in host order.
    pixel = (lambda p: p[::-1]) if sys.byteorder == "little" else (lambda p: p)
    return {"title": str(props.get("Title", "")),
            "tooltip": str(props.get("ToolTip", ("", [], "", ""))[2]),
            "pixmaps": [[int(w), int(h), b"".join(pixel(bytes(d[i:i + 4]))
                                                  for i in range(0, len(d), 4)).hex()]
                        for w, h, d in props.get("IconPixmap", [])]}


def activate():
    item_proxy().Activate(dbus.Int32(0), dbus.Int32(0), dbus_interface=ITEM, timeout=5)
    return {"ok": True}


COMMANDS = {"items": lambda: items, "read": read, "activate": activate,
            "notifications": lambda: notes}


def on_stdin(source, condition):
    line = sys.stdin.readline()
    if not line:
        loop.quit()
        return False
    try:
        print(json.dumps(COMMANDS[line.strip()]()), flush=True)
    except dbus.DBusException as e:
        print(json.dumps({"error": str(e)}), flush=True)
    return True


names = [dbus.service.BusName(n, bus, do_not_queue=True) for n in (WATCHER, NOTIFY)]
Watcher(bus, "/StatusNotifierWatcher")
Notifications(bus, "/org/freedesktop/Notifications")
loop = GLib.MainLoop()
GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_stdin)
print("ready", flush=True)
loop.run()
