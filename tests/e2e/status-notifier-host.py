"""A StatusNotifierItem host as a panel is one, reduced to what the end-to-end test needs.

Registers with the session bus's StatusNotifierWatcher (so that programs export their tray icons over
D-Bus), waits for the first item, asks for its menu over com.canonical.dbusmenu as a panel does when the
user right-clicks, prints the menu's items one a line ("label" or "label (disabled)") and clicks the item
whose label is the first argument, if one is given.
"""
import os
import sys
import time

import dbus

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"
PROPERTIES = "org.freedesktop.DBus.Properties"


def fail(message):
    print("host: " + message, flush=True)
    sys.exit(1)


def first_item(watcher, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        items = watcher.Get(WATCHER, "RegisteredStatusNotifierItems", dbus_interface=PROPERTIES)
        if items:
            return str(items[0])
        time.sleep(0.1)
    fail("no item registered with the watcher")


def main():
    click = sys.argv[1] if len(sys.argv) > 1 else None
    bus = dbus.SessionBus()
    name = "org.kde.StatusNotifierHost-%d" % os.getpid()
    bus.request_name(name)
    watcher = bus.get_object(WATCHER, "/StatusNotifierWatcher")
    watcher.RegisterStatusNotifierHost(name, dbus_interface=WATCHER)
    print("host: registered", flush=True)

    # An item registers by its bus name, or by bus name and object path.
    registered = first_item(watcher, float(os.environ.get("HOST_WAIT_SECONDS", "30")))
    service, _, path = registered.partition("/")
    item = bus.get_object(service, "/" + path if path else "/StatusNotifierItem")
    menu_path = str(item.Get(ITEM, "Menu", dbus_interface=PROPERTIES))
    if menu_path in ("", "/", "/NO_DBUSMENU"):
        fail("the item exports no menu (Menu is %r)" % menu_path)
    menu = dbus.Interface(bus.get_object(service, menu_path), MENU)

    menu.AboutToShow(0)
    _, (_, _, children) = menu.GetLayout(0, -1, [])
    chosen = None
    for child in children:
        child_id, properties, _ = child
        if properties.get("type") == "separator" or not properties.get("visible", True):
            continue
        label = str(properties.get("label", ""))
        enabled = bool(properties.get("enabled", True))
        print(label if enabled else label + " (disabled)", flush=True)
        if label == click:
            chosen = int(child_id)
    if click is None:
        return
    if chosen is None:
        fail("no item %r in the menu" % click)
    try:
        menu.Event(chosen, "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(int(time.time())))
    except dbus.exceptions.DBusException as error:
        # The program may end before it answers.
        print("host: no answer to the click (%s)" % error.get_dbus_name(), flush=True)
    print("host: clicked " + click, flush=True)


main()
