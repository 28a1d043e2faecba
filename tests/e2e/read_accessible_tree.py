#!/usr/bin/python3
"""Reads an application's accessibility tree over AT-SPI, as a screen reader would.

Prints one line per node, its fields separated by tabs: depth, role, name, description
and the number of a node that offers one (else empty). Then, with --press NAME, does
the accessible press action of the push button of that name and prints "pressed".
Exits 1, saying why on standard error, if the application or the button is not found.
"""
import argparse
import sys
import time

import pyatspi


def find_application(name, seconds):
    desktop = pyatspi.Registry.getDesktop(0)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        for app in desktop:
            if app is not None and app.name == name and app.childCount > 0:
                return app
        time.sleep(0.1)
    return None


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
    for i in range(action.nActions):
        if action.getName(i).lower() == "press":
            action.doAction(i)
            return True
    return False


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("application")
    parser.add_argument("--press", help="name of the push button to press last")
    parser.add_argument("--wait", type=float, default=10, help="seconds to wait for it")
    args = parser.parse_args()

    app = find_application(args.application, args.wait)
    if app is None:
        sys.exit("no application %r on the accessibility bus" % args.application)
    buttons = {}
    walk(app, 0, buttons)
    if args.press is not None:
        if args.press not in buttons or not press(buttons[args.press]):
            sys.exit("no push button %r with a press action" % args.press)
        print("pressed")


if __name__ == "__main__":
    main()
