#!/usr/bin/python3
"""Closes a top-level window the way a user does from its title bar: finds the
mapped window with the given title on $DISPLAY and sends it WM_DELETE_WINDOW.

Usage: close_window.py TITLE [SECONDS]   (waits up to SECONDS, default 20, for
the window to appear; exits 1 when it never does)."""
import sys
import time

from Xlib import X, display, error, protocol


def find(conn, window, title, name_atom, utf8_atom):
    try:
        children = window.query_tree().children
    except error.XError:
        return None
    for child in children:
        try:
            name = child.get_full_text_property(name_atom, utf8_atom)
            mapped = child.get_attributes().map_state == X.IsViewable
        except error.XError:
            continue  # gone while we looked
        if name == title and mapped:
            return child
        found = find(conn, child, title, name_atom, utf8_atom)
        if found is not None:
            return found
    return None


def main():
    title = sys.argv[1]
    deadline = time.monotonic() + float(sys.argv[2] if len(sys.argv) > 2 else 20)
    conn = display.Display()
    name_atom = conn.intern_atom("_NET_WM_NAME")
    utf8_atom = conn.intern_atom("UTF8_STRING")
    while time.monotonic() < deadline:
        window = find(conn, conn.screen().root, title, name_atom, utf8_atom)
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
