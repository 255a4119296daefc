"""cmake --install into a staging prefix (with a space in it), then checks what
a desktop finds there: the entry and the metadata pass their validators, the
icon is the project's own, the entry, icon and metadata share one id, and the
entry's Exec command starts the installed program, whose main window appears
with the window class the entry names.
"""

import argparse
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
import harness  # noqa: E402

from harness import check  # noqa: E402


def desktop_entry(path):
    """The [Desktop Entry] group's keys, values with the string escapes undone."""
    values, group = {}, None
    for line in open(path, encoding="utf-8").read().splitlines():
        if line.startswith("["):
            group = line
        elif group == "[Desktop Entry]" and "=" in line and not line.startswith("#"):
            key, value = line.split("=", 1)
            out, i = "", 0
            while i < len(value):
                if value[i] == "\\" and i + 1 < len(value):
                    out += {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(value[i + 1], value[i:i + 2])
                    i += 2
                else:
                    out += value[i]
                    i += 1
            values[key.strip()] = out
    return values


def test(args):
    for tool in ("desktop-file-validate", "appstreamcli", "xprop"):
        if shutil.which(tool) is None:
            print(f"SKIP: {tool} is not installed")
            sys.exit(harness.SKIP)
    stage = tempfile.mkdtemp(prefix="aerlume-stage-")
    try:
        prefix = os.path.join(stage, "opt dir")
        result = subprocess.run(["cmake", "--install", args.build_dir, "--prefix", prefix],
                                capture_output=True, text=True)
        check(result.returncode == 0, f"cmake --install failed:\n{result.stdout}{result.stderr}")
        app_id = args.app_id
        entry = os.path.join(prefix, "share", "applications", f"{app_id}.desktop")
        metainfo = os.path.join(prefix, "share", "metainfo", f"{app_id}.metainfo.xml")
        icon = os.path.join(prefix, "share", "icons", "hicolor", "scalable", "apps", f"{app_id}.svg")
        program = os.path.join(prefix, "bin", "aerlume")
        for path in (entry, metainfo, icon, program):
            check(os.path.isfile(path), f"not installed: {path}")
        check(os.access(program, os.X_OK), "the installed program is not executable")
        check(open(icon, "rb").read() == open(os.path.join(args.source_dir, "resources", "aerlume.svg"), "rb").read(),
              "the installed icon is not the project's own")

        result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
        check(result.returncode == 0 and "error" not in result.stdout.lower(),
              f"desktop-file-validate:\n{result.stdout}{result.stderr}")
        result = subprocess.run(["appstreamcli", "validate", "--no-net", "--pedantic", metainfo],
                                capture_output=True, text=True)
        check(result.returncode == 0, f"appstreamcli validate:\n{result.stdout}{result.stderr}")

        values = desktop_entry(entry)
        check(values.get("Icon") == app_id, f"Icon is {values.get('Icon')!r}, not the id {app_id}")
        component = ET.parse(metainfo).getroot()
        check(component.findtext("id") == app_id, "the metadata's id differs from the application id")
        check(component.findtext("launchable") == f"{app_id}.desktop", "the metadata launches another entry")
        release = component.find("releases/release")
        check(release is not None and release.get("version") == args.version,
              f"the newest release is not the project version {args.version}")

        command = shlex.split(values.get("Exec", "").replace("%%", "%"))
        check(command == [program], f"Exec runs {command}, not the installed program {program}")
        check(values.get("TryExec") == program, f"TryExec is {values.get('TryExec')!r}")

        with harness.Session(command[0], args.source_dir) as session:
            process = session.start(command[1:])
            window = session.wait_visible(process)
            # X11 desktops match a window to its entry by WM_CLASS (the
            # toolkit's desktop file name serves Wayland).
            prop = subprocess.run(["xprop", "-id", str(window), "WM_CLASS"], env=session.env(),
                                  capture_output=True, text=True)
            check(prop.stdout.strip().endswith(f'"{values.get("StartupWMClass")}"'),
                  f"the window's class {prop.stdout.strip()} is not the entry's StartupWMClass")
    finally:
        shutil.rmtree(stage, ignore_errors=True)


parser = argparse.ArgumentParser()
parser.add_argument("--build-dir", required=True)
parser.add_argument("--source-dir", required=True)
parser.add_argument("--app-id", required=True)
parser.add_argument("--version", required=True)
harness.parse_args = lambda: parser.parse_args()
harness.main(test, timeout=90)
