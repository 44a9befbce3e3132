#!/usr/bin/python3
# A GTK text field that writes down, one line each, "focus in", "focus out" and, on every
# change, "text" followed by the field's whole text as hexadecimal scalars.
# Usage: gtk_target.py LOG [4]   (4: GTK 4, else GTK 3)
import sys

import gi

gtk4 = len(sys.argv) > 2 and sys.argv[2] == "4"
gi.require_version("Gtk", "4.0" if gtk4 else "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

log = open(sys.argv[1], "w", buffering=1, encoding="utf-8")


def write(record):
    log.write(record + "\n")


entry = Gtk.Entry()
entry.connect("changed", lambda e: write(" ".join(["text"] + [f"{ord(c):X}" for c in e.get_text()])))
window = Gtk.Window(title="SumiroGtkTarget")
if gtk4:
    focus = Gtk.EventControllerFocus()
    focus.connect("enter", lambda *a: write("focus in"))
    focus.connect("leave", lambda *a: write("focus out"))
    entry.add_controller(focus)
    window.set_child(entry)
    loop = GLib.MainLoop()
    window.connect("close-request", lambda *a: loop.quit() or False)
    window.present()
    entry.grab_focus()
    loop.run()
else:
    entry.connect("focus-in-event", lambda *a: write("focus in") or False)
    entry.connect("focus-out-event", lambda *a: write("focus out") or False)
    window.add(entry)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    entry.grab_focus()
    Gtk.main()
