#!/usr/bin/env bash
# Installs what is missing, builds Aerlume (build/normal) and starts it on the
# simulated Wi-Fi service.
#
# With a display ($DISPLAY set) the program simply starts. Without one it
# runs under a private Xvfb server: after a few seconds the program saves a
# PNG of its main window (AERLUME_SCREENSHOT), this script prints the file's
# path, and the program ends.
#
# Environment: AERLUME_SIM_WORLD (a world file; default the built-in world),
# AERLUME_SCREENSHOT (where to save the PNG; default build/screenshot.png),
# AERLUME_SCREENSHOT_DELAY (ms before the picture; default 4000),
# AERLUME_INTERNET_HOST / AERLUME_INTERNET_LABEL (the status panel's internet
# pinger; default localhost / Loopback when there is no display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/normal" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$root/build/normal" -j "$(nproc)" --target aerlume
binary="$root/build/normal/app/aerlume"

if [ -n "${DISPLAY:-}" ]; then
  exec "$binary" "$@"
fi

shot=${AERLUME_SCREENSHOT:-$root/build/screenshot.png}
mkdir -p "$(dirname "$shot")"
rm -f "$shot"
# A private session: its own runtime folder (the single-instance lock and
# socket), profile store and run list, so nothing of the user's is touched.
session=$(mktemp -d)
trap 'rm -rf "$session"' EXIT
mkdir -m 700 "$session/run"
mkdir -p "$session/config" "$session/xdg/autostart"

# The status panel's internet pinger pings loopback: nothing leaves this machine.
AERLUME_INTERNET_HOST="${AERLUME_INTERNET_HOST:-localhost}" AERLUME_INTERNET_LABEL="${AERLUME_INTERNET_LABEL:-Loopback}" \
XDG_RUNTIME_DIR="$session/run" XDG_CONFIG_HOME="$session/config" XDG_CONFIG_DIRS="$session/xdg" \
AERLUME_SCREENSHOT="$shot" AERLUME_SCREENSHOT_DELAY="${AERLUME_SCREENSHOT_DELAY:-4000}" QT_QPA_PLATFORM=xcb \
  timeout 60 xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$binary" "$@" > "$session/out" 2> "$session/err" || {
    echo "Aerlume ended with an error:" >&2
    cat "$session/out" "$session/err" >&2
    exit 1
  }
if [ ! -s "$shot" ]; then
  echo "No screenshot was written." >&2
  cat "$session/err" >&2
  exit 1
fi
echo "Screenshot of the main window: $shot"
