"""The command line: help, version, errors and the missing graphical session.

Every case runs the program with no display at all and a private runtime
folder: help and version must answer without the toolkit (which would abort
without a display) and without creating the single-instance lock or socket.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

parser = argparse.ArgumentParser()
parser.add_argument("--binary", required=True)
parser.add_argument("--source-dir", required=True)
parser.add_argument("--version", required=True, help="the project version the program must report")
args = parser.parse_args()

failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)


runtime = tempfile.mkdtemp(prefix="aerlume-cli-")
os.chmod(runtime, 0o700)
env = {k: v for k, v in os.environ.items()
       if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "AERLUME_SCREENSHOT")}
env.update({"XDG_RUNTIME_DIR": runtime, "AERLUME_INTERNET_HOST": "localhost"})

# name, arguments, expected exit code (None: any failure but the missing-session
# one), text expected on stdout, text expected on stderr
cases = [
    ("help", ["--help"], 0, "Usage: ", None),
    ("short help", ["-h"], 0, "Usage: ", None),
    ("help before a file name", ["notes.txt", "--help"], 0, "--version", None),
    ("version", ["--version"], 0, f"Aerlume {args.version}\n", None),
    ("unknown long option", ["--frobnicate"], 2, None, "unknown option '--frobnicate'"),
    ("unknown short option", ["-x", "notes.txt"], 2, None, "unknown option '-x'"),
    ("unknown option after help", ["--help", "--nope"], 2, None, "unknown option '--nope'"),
    ("toolkit option without its value", ["-platform"], 2, None, "needs a value"),
    ("no graphical session", [], 1, None, "needs a graphical session"),
    ("no graphical session, with a file name", ["notes.txt"], 1, None, "needs a graphical session"),
    ("an option-like file name after --", ["--", "--frobnicate"], 1, None, "needs a graphical session"),
    # A display named on the command line is tried by the toolkit (and fails here).
    ("display given by -display", ["-display", ":65000"], None, None, None),
]

try:
    for name, arguments, code, out, err in cases:
        result = subprocess.run([args.binary, *arguments], env=env, capture_output=True, text=True, timeout=20)
        if code is None:
            expect(result.returncode != 0 and "needs a graphical session" not in result.stderr,
                   f"{name}: exit code {result.returncode}, stderr {result.stderr!r}")
        else:
            expect(result.returncode == code, f"{name}: exit code {result.returncode}, expected {code}\n{result.stderr}")
        if out is not None:
            expect(out in result.stdout, f"{name}: stdout lacks {out!r}: {result.stdout!r}")
            expect(result.stderr == "", f"{name}: unexpected stderr {result.stderr!r}")
        if err is not None:
            expect(err in result.stderr, f"{name}: stderr lacks {err!r}: {result.stderr!r}")
            expect(result.stdout == "", f"{name}: unexpected stdout {result.stdout!r}")
            expect(len(result.stderr.strip().splitlines()) <= 2, f"{name}: more than a short message: {result.stderr!r}")
        expect(os.listdir(runtime) == [], f"{name}: left files in the runtime folder: {os.listdir(runtime)}")
finally:
    shutil.rmtree(runtime, ignore_errors=True)

for failure in failures:
    print("FAIL:", failure)
print("PASS" if not failures else f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
