#!/usr/bin/python3
"""A StatusNotifierWatcher with its host, and a notification server, on the
session bus, for the tray tests: what a Plasma panel or a desktop shell offers.

Prints "ready" once it owns org.kde.StatusNotifierWatcher and
org.freedesktop.Notifications. Then takes commands on stdin, one per line, and
answers each with one JSON line on stdout:
  items          the registered items, as "service/path"
  read           {"title", "tooltip", "pixmaps": [[w, h, hex ARGB32], ...]} of
                 the first item, read over the bus
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
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
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

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, key):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    # Clients read the properties through the introspected interface (Qt does).
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return self.GetAll(interface)[prop]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"RegisteredStatusNotifierItems": dbus.Array(items, signature="s"),
                "IsStatusNotifierHostRegistered": True,
                "ProtocolVersion": dbus.Int32(0)}


class Notifications(dbus.service.Object):
    @dbus.service.method(NOTIFY, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        notes.append([str(summary), str(body)])
        return dbus.UInt32(len(notes))

    @dbus.service.method(NOTIFY, out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NOTIFY, out_signature="ssss")
    def GetServerInformation(self):
        return ["rm-test", "router-monitor", "1", "1.2"]


def item_proxy():
    name, _, path = items[0].partition("/")
    return bus.get_object(name, "/" + path)


def answer(line):
    cmd = line.strip()
    if cmd == "items":
        return items
    if cmd == "read":
        props = item_proxy().GetAll(ITEM, dbus_interface=dbus.PROPERTIES_IFACE, timeout=5)
        tip = props.get("ToolTip", ("", [], "", ""))
        return {"title": str(props.get("Title", "")),
                "tooltip": str(tip[2]),
                "pixmaps": [[int(w), int(h), bytes(bytearray(d)).hex()]
                            for w, h, d in props.get("IconPixmap", [])]}
    if cmd == "activate":
        item_proxy().Activate(dbus.Int32(0), dbus.Int32(0), dbus_interface=ITEM, timeout=5)
        return {"ok": True}
    if cmd == "notifications":
        return notes
    return {"error": "unknown command " + cmd}


def on_stdin(source, condition):
    line = sys.stdin.readline()
    if not line:
        loop.quit()
        return False
    try:
        print(json.dumps(answer(line)), flush=True)
    except dbus.DBusException as e:
        print(json.dumps({"error": str(e)}), flush=True)
    return True


watcher_name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
Watcher(bus, "/StatusNotifierWatcher")
notify_name = dbus.service.BusName(NOTIFY, bus, do_not_queue=True)
Notifications(bus, "/org/freedesktop/Notifications")
loop = GLib.MainLoop()
GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_stdin)
print("ready", flush=True)
loop.run()
