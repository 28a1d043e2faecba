#!/usr/bin/python3
"""Reads an application's accessibility tree over AT-SPI, as a screen reader would.

Usage: read_accessible_tree.py APPLICATION [--press NAME]
Prints one line per node, tab-separated: depth, role, name, description and the number
of a node that offers one (else empty). With --press, then does the accessible press
action of the push button NAME and prints "pressed". Exits 1, saying why, if the
application or the button is not found.
"""
import sys
import time

import pyatspi


def find_application(name, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name and app.childCount > 0:
                return app
        time.sleep(0.1)
    sys.exit("no application %r on the accessibility bus" % name)


def number(node):
    try:
        return "%.0f" % node.queryValue().currentValue
    except NotImplementedError:
        return ""


def walk(node, depth, buttons):
    fields = [str(depth), node.getRoleName(), node.name, node.description, number(node)]
    print("\t".join(field.replace("\t", " ").replace("\n", " ") for field in fields))
    if node.getRole() == pyatspi.ROLE_PUSH_BUTTON:
        buttons.setdefault(node.name, node)
    for child in node:
        if child is not None:
            walk(child, depth + 1, buttons)


def press(button):
    action = button.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    if "press" not in names:
        return False
    action.doAction(names.index("press"))
    return True


buttons = {}
walk(find_application(sys.argv[1]), 0, buttons)
if len(sys.argv) == 4 and sys.argv[2] == "--press":
    if sys.argv[3] not in buttons or not press(buttons[sys.argv[3]]):
        sys.exit("no push button %r with a press action" % sys.argv[3])
    print("pressed")
