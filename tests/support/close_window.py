#!/usr/bin/python3
"""Closes a top-level window the way a user does from its title bar: finds the
mapped window with the given title that belongs to process PID on $DISPLAY and
sends it WM_DELETE_WINDOW. (A window of a program that has just ended can stay
on the server for a moment; the process id keeps it from being taken.)

Usage: close_window.py TITLE PID [SECONDS]   (waits up to SECONDS, default 20,
for the window to appear; exits 1 when it never does)."""
import sys
import time

from Xlib import X, display, error, protocol


def find(conn, window, title, pid, atoms):
    try:
        children = window.query_tree().children
    except error.XError:
        return None
    for child in children:
        try:
            name = child.get_full_text_property(atoms["name"], atoms["utf8"])
            mapped = child.get_attributes().map_state == X.IsViewable
            owner = child.get_full_property(atoms["pid"], X.AnyPropertyType)
        except error.XError:
            continue  # gone while we looked
        if name == title and mapped and owner is not None and pid in owner.value:
            return child
        found = find(conn, child, title, pid, atoms)
        if found is not None:
            return found
    return None


def main():
    title = sys.argv[1]
    pid = int(sys.argv[2])
    deadline = time.monotonic() + float(sys.argv[3] if len(sys.argv) > 3 else 20)
    conn = display.Display()
    atoms = {"name": conn.intern_atom("_NET_WM_NAME"), "utf8": conn.intern_atom("UTF8_STRING"),
             "pid": conn.intern_atom("_NET_WM_PID")}
    while time.monotonic() < deadline:
        window = find(conn, conn.screen().root, title, pid, atoms)
        if window is not None:
            # Let the window finish its first paint before it is asked to close.
            time.sleep(0.5)
            message = protocol.event.ClientMessage(
                window=window,
                client_type=conn.intern_atom("WM_PROTOCOLS"),
                data=(32, [conn.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
            window.send_event(message)
            conn.flush()
            return 0
        time.sleep(0.1)
    print("no window titled " + title, file=sys.stderr)
    return 1


sys.exit(main())
