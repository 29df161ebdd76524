#!/usr/bin/python3
"""A remote-desktop portal (org.freedesktop.portal.RemoteDesktop) for the tests, on the session
bus of DBUS_SESSION_BUS_ADDRESS. It writes one line per call to the file of --calls, options
sorted and without their handle_token, and answers each request with a Response signal on the
Request path the caller can predict, as xdg-desktop-portal does. Prints "ready" once it owns
org.freedesktop.portal.Desktop.

What the portal offers is chosen by options: the host registry (--registry), ConnectToEIS
(--eis), or no RemoteDesktop interface at all (--no-remote-desktop, as xdg-desktop-portal with
only the wlr backend). The desktop ends its sessions (Session.Closed) after --close-after keys, or
on SIGUSR1."""

import argparse
import os
import signal
import socket
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

OBJECT = "/org/freedesktop/portal/desktop"
INTERFACE = "org.freedesktop.portal.RemoteDesktop"
REGISTRY = "org.freedesktop.host.portal.Registry"
# What the mock's end of every EIS connection writes first, for the test to read at the other.
EIS_MARKER = b"scalino-portal-mock-eis\n"

parser = argparse.ArgumentParser()
parser.add_argument("--calls", required=True, help="file the calls are written to")
parser.add_argument("--version", type=int, default=2, help="the interface's version property")
parser.add_argument("--eis", action="store_true", help="offer ConnectToEIS")
parser.add_argument("--eis-fd", type=int,
                    help="ConnectToEIS hands out this inherited descriptor, the client's end of "
                         "an EIS server of the test's, instead of a socket of the mock's")
parser.add_argument("--eis-refuse", action="store_true",
                    help="ConnectToEIS is offered but fails (AccessDenied)")
parser.add_argument("--registry", action="store_true",
                    help="offer org.freedesktop.host.portal.Registry")
parser.add_argument("--registry-refuse", action="store_true",
                    help="the offered Register fails, as for a connection already known")
parser.add_argument("--no-remote-desktop", action="store_true",
                    help="no RemoteDesktop interface at all")
parser.add_argument("--close-after", type=int, default=0,
                    help="the desktop ends the session after this many keys (0: never)")
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
        self.started = False
        self.keys = 0

    @dbus.service.method("org.freedesktop.portal.Session", in_signature="", out_signature="")
    def Close(self):
        record("Session.Close")
        self.portal.sessions.pop(self.path, None)
        self.remove_from_connection()

    @dbus.service.signal("org.freedesktop.portal.Session", signature="a{sv}")
    def Closed(self, details):
        pass

    def end(self):
        """The desktop ends the session: revoked from its indicator, or a logout."""
        record("Session.Closed")
        self.portal.sessions.pop(self.path, None)
        self.Closed(dbus.Dictionary({}, signature="sv"))
        self.remove_from_connection()


class Base(dbus.service.Object):
    """The portal's object with the properties of the interfaces it offers."""

    offered_interfaces = {}

    def __init__(self, bus):
        super().__init__(bus, OBJECT)
        self.bus = bus
        self.sessions = {}
        # The mock's ends of the EIS connections it gave out, kept open while it runs.
        self.eis_ends = []

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface not in self.offered_interfaces:
            raise dbus.exceptions.DBusException(
                "no such interface", name="org.freedesktop.DBus.Error.UnknownInterface")
        return self.offered_interfaces[interface]

    def end_sessions(self):
        for session in list(self.sessions.values()):
            session.end()


class Registry(Base):
    @dbus.service.method(REGISTRY, in_signature="sa{sv}", out_signature="")
    def Register(self, app_id, options):
        record(f"Register {app_id} " + show_options(options))
        if args.registry_refuse:
            raise dbus.exceptions.DBusException(
                "Connection already associated with an application ID",
                name="org.freedesktop.portal.Error.Failed")


class Portal(Base):

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
            session.started = True
            results = {"devices": dbus.UInt32(args.devices),
                       "restore_token": dbus.String(args.new_token)}
        return self.answer(sender, options, code, results, silent=args.silent_start)

    @dbus.service.method(INTERFACE, in_signature="oa{sv}iu", out_signature="")
    def NotifyKeyboardKeycode(self, session_handle, options, keycode, state):
        if str(session_handle) not in self.sessions:
            # Recorded too, for the tests to see a key sent to a session already ended.
            record(f"NotifyKeyboardKeycode {keycode} {state} to an unknown session")
        session = self.session(session_handle)
        record(f"NotifyKeyboardKeycode {keycode} {state}")
        session.keys += 1
        if args.close_after and session.keys >= args.close_after:
            # Sent before the method's return: the caller has the signal when the call ends.
            session.end()


class PortalWithEis(Portal):
    @dbus.service.method(INTERFACE, in_signature="oa{sv}", out_signature="h")
    def ConnectToEIS(self, session_handle, options):
        record("ConnectToEIS " + show_options(options))
        session = self.session(session_handle)
        if args.eis_refuse or not session.started:
            raise dbus.exceptions.DBusException(
                "no EIS connection for this session", name="org.freedesktop.DBus.Error.AccessDenied")
        if args.eis_fd is not None:
            # A real EIS server at the other end: handed out once, as the portal does.
            fd = dbus.types.UnixFd(args.eis_fd)
            os.close(args.eis_fd)
            args.eis_fd = None
            return fd
        mine, theirs = socket.socketpair(socket.AF_UNIX, socket.SOCK_STREAM)
        mine.sendall(EIS_MARKER)
        self.eis_ends.append(mine)
        # UnixFd duplicates the descriptor: the mock's copy of the caller's end closes here.
        fd = dbus.types.UnixFd(theirs)
        theirs.close()
        return fd


DBusGMainLoop(set_as_default=True)
session_bus = dbus.SessionBus()
bases = []
interfaces = {}
if args.registry:
    bases.append(Registry)
    interfaces[REGISTRY] = {"version": dbus.UInt32(1)}
if not args.no_remote_desktop:
    bases.append(PortalWithEis if args.eis else Portal)
    interfaces[INTERFACE] = {"version": dbus.UInt32(args.version),
                             "AvailableDeviceTypes": dbus.UInt32(7)}
bases.append(Base)


# A portal without any interface of its own still owns the name and answers on its object.
class MockPortal(*bases):
    offered_interfaces = interfaces


portal = MockPortal(session_bus)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1,
                     lambda: portal.end_sessions() or True)
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
