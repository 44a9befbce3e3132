#!/usr/bin/python3
# A GTK 3 text field that writes down, one line each, "focus in", "focus out" and, on every
# change, "text" followed by the field's whole text as hexadecimal scalars.
# Usage: gtk_target.py LOG
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402

log = open(sys.argv[1], "w", buffering=1, encoding="utf-8")


def write(record):
    log.write(record + "\n")


entry = Gtk.Entry()
entry.connect("changed", lambda e: write(" ".join(["text"] + [f"{ord(c):X}" for c in e.get_text()])))
entry.connect("focus-in-event", lambda *a: write("focus in") or False)
entry.connect("focus-out-event", lambda *a: write("focus out") or False)
window = Gtk.Window(title="SumiroGtkTarget")
window.add(entry)
window.connect("destroy", Gtk.main_quit)
window.show_all()
entry.grab_focus()
Gtk.main()
