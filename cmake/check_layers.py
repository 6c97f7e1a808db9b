#!/usr/bin/env python3
"""Fails when a source file includes across the layer rule.

A folder of src/ may include only the folders earlier in its chain (the ports in src/platform/*.h are open
to all), and only the Linux adapters, the views, the onboarding screens and the composition root include
platform headers (Qt Widgets, Svg and D-Bus, libical, libsecret, GLib, systemd, xcb).
"""
import argparse
import os
import re
import sys

# Folder -> the folders it may include besides itself and the ports.
ALLOWED = {
    "utilities": [],
    "platform": ["utilities"],
    "models": ["utilities"],
    "services": ["utilities", "models"],
    "services/google": ["utilities", "models", "services"],
    "account": ["utilities", "models", "services", "services/google"],
    "app": ["utilities", "models", "services", "services/google", "account"],
    "views": ["utilities", "models", "services", "services/google", "account", "app"],
    "onboarding": ["utilities", "models", "services", "services/google", "account", "app", "views"],
    "platform/linux": ["utilities"],
}
PLATFORM_HEADER_FOLDERS = {"platform/linux", "views", "onboarding"}
PLATFORM_PREFIXES = ("libical/", "ical.h", "libsecret/", "glib", "gio/", "systemd/", "xcb/",
                     "QtWidgets/", "QtSvg/", "QtSvgWidgets/")
PLATFORM_QT_MODULES = ("QtWidgets", "QtSvg", "QtSvgWidgets", "QtDBus")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)


def layer_of(relative_path):
    """The layer folder that holds a path relative to src/, or None."""
    parts = relative_path.split("/")[:-1]
    for depth in (2, 1):
        candidate = "/".join(parts[:depth])
        if candidate in ALLOWED:
            return candidate
    return None


def is_platform_header(name, qt_headers):
    if name.startswith(PLATFORM_PREFIXES):
        return True
    return any(os.path.isfile(os.path.join(qt_headers, module, name)) for module in PLATFORM_QT_MODULES)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--src-root", required=True)
    parser.add_argument("--qt-headers", required=True)
    parser.add_argument("--composition-root", action="store_true",
                        help="the files build the real objects: any include is allowed")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    errors = []
    for path in args.files:
        if args.composition_root:
            continue
        folder = layer_of(os.path.relpath(path, args.src_root).replace(os.sep, "/"))
        if folder is None:
            errors.append(f"{path}: not in a layer folder of src/")
            continue
        with open(path, encoding="utf-8") as f:
            text = f.read()
        for match in INCLUDE.finditer(text):
            bracket, name = match.groups()
            line = text.count("\n", 0, match.start()) + 1
            if bracket == "<":
                if folder not in PLATFORM_HEADER_FOLDERS and is_platform_header(name, args.qt_headers):
                    errors.append(f"{path}:{line}: {folder}/ may not include the platform header <{name}>")
                continue
            target = layer_of(name)
            if target is None or target == folder or (target == "platform" and "/" not in name[9:]):
                continue
            if target not in ALLOWED[folder]:
                errors.append(f"{path}:{line}: {folder}/ may not include {name} ({target}/ is not below it)")
    for error in errors:
        print(f"layer rule: {error}", file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
