#!/usr/bin/python3
"""A remote-desktop portal (org.freedesktop.portal.RemoteDesktop) for the tests, on the session
bus of DBUS_SESSION_BUS_ADDRESS. It writes one line per call to the file of --calls, options
sorted and without their handle_token, and answers each request with a Response signal on the
Request path the caller can predict, as xdg-desktop-portal does. Prints "ready" once it owns
org.freedesktop.portal.Desktop."""

import argparse
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

OBJECT = "/org/freedesktop/portal/desktop"
INTERFACE = "org.freedesktop.portal.RemoteDesktop"

parser = argparse.ArgumentParser()
parser.add_argument("--calls", required=True, help="file the calls are written to")
parser.add_argument("--version", type=int, default=2, help="the interface's version property")
parser.add_argument("--eis", action="store_true", help="offer ConnectToEIS")
parser.add_argument("--start-response", type=int, default=0, help="Start's response code")
parser.add_argument("--refuse-token", action="store_true",
                    help="Start fails (2) for a session selected with a restore token")
parser.add_argument("--silent-start", action="store_true", help="Start never answers")
parser.add_argument("--new-token", default="token-from-portal",
                    help="the restore token a successful Start gives")
parser.add_argument("--devices", type=int, default=1, help="the devices Start grants")
args = parser.parse_args()

calls = open(args.calls, "a", encoding="utf-8")


def record(line):
    calls.write(line + "\n")
    calls.flush()


def show_options(options):
    return " ".join(f"{key}={options[key]}" for key in sorted(options) if key != "handle_token")


def sender_part(sender):
    return sender[1:].replace(".", "_")


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, code, results):
        pass


class Session(dbus.service.Object):
    def __init__(self, bus, path, portal):
        super().__init__(bus, path)
        self.path = path
        self.portal = portal
        self.restore_token = None

    @dbus.service.method("org.freedesktop.portal.Session", in_signature="", out_signature="")
    def Close(self):
        record("Session.Close")
        self.portal.sessions.pop(self.path, None)
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, OBJECT)
        self.bus = bus
        self.sessions = {}

    def session(self, path):
        if str(path) not in self.sessions:
            raise dbus.exceptions.DBusException("unknown session " + str(path),
                                                name="org.freedesktop.DBus.Error.AccessDenied")
        return self.sessions[str(path)]

    def answer(self, sender, options, code, results, silent=False):
        path = f"{OBJECT}/request/{sender_part(sender)}/{options['handle_token']}"
        request = Request(self.bus, path)

        def emit():
            request.Response(dbus.UInt32(code), dbus.Dictionary(results, signature="sv"))
            request.remove_from_connection()
            return False

        if not silent:
            # After the method's return, as the portal answers once the user has.
            GLib.timeout_add(20, emit)
        return dbus.ObjectPath(path)

    @dbus.service.method(INTERFACE, in_signature="a{sv}", out_signature="o",
                         sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        record("CreateSession " + show_options(options))
        path = f"{OBJECT}/session/{sender_part(sender)}/{options['session_handle_token']}"
        self.sessions[path] = Session(self.bus, path, self)
        return self.answer(sender, options, 0, {"session_handle": dbus.ObjectPath(path)})

    @dbus.service.method(INTERFACE, in_signature="oa{sv}", out_signature="o",
                         sender_keyword="sender")
    def SelectDevices(self, session_handle, options, sender=None):
        record("SelectDevices " + show_options(options))
        self.session(session_handle).restore_token = options.get("restore_token")
        return self.answer(sender, options, 0, {})

    @dbus.service.method(INTERFACE, in_signature="osa{sv}", out_signature="o",
                         sender_keyword="sender")
    def Start(self, session_handle, parent_window, options, sender=None):
        record(f"Start parent_window={parent_window} " + show_options(options))
        session = self.session(session_handle)
        code = args.start_response
        if args.refuse_token and session.restore_token:
            code = 2
        results = {}
        if code == 0:
            results = {"devices": dbus.UInt32(args.devices),
                       "restore_token": dbus.String(args.new_token)}
        return self.answer(sender, options, code, results, silent=args.silent_start)

    @dbus.service.method(INTERFACE, in_signature="oa{sv}iu", out_signature="")
    def NotifyKeyboardKeycode(self, session_handle, options, keycode, state):
        self.session(session_handle)
        record(f"NotifyKeyboardKeycode {keycode} {state}")

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface != INTERFACE:
            raise dbus.exceptions.DBusException(
                "no such interface", name="org.freedesktop.DBus.Error.UnknownInterface")
        return {"version": dbus.UInt32(args.version), "AvailableDeviceTypes": dbus.UInt32(7)}


class PortalWithEis(Portal):
    @dbus.service.method(INTERFACE, in_signature="oa{sv}", out_signature="h")
    def ConnectToEIS(self, session_handle, options):
        raise dbus.exceptions.DBusException("no EIS server in this mock",
                                            name="org.freedesktop.DBus.Error.NotSupported")


DBusGMainLoop(set_as_default=True)
session_bus = dbus.SessionBus()
portal = (PortalWithEis if args.eis else Portal)(session_bus)
# The mock of an earlier test may still be leaving the bus: wait for the name rather than queue.
for attempt in range(100):
    reply = session_bus.request_name("org.freedesktop.portal.Desktop",
                                     dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
    if reply in (dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER, dbus.bus.REQUEST_NAME_REPLY_ALREADY_OWNER):
        break
    GLib.usleep(50000)
else:
    sys.exit("org.freedesktop.portal.Desktop stays taken")
print("ready", flush=True)
try:
    GLib.MainLoop().run()
except KeyboardInterrupt:
    sys.exit(0)
