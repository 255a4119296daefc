#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Safe to run again: only missing packages are fetched.
set -euo pipefail

packages=(
  # compiler and build
  build-essential cmake ninja-build pkg-config
  # Qt 6 Widgets and SVG (icons); Qt's CMake files look for the GL headers
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  # unit tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # fuzz targets: clang with libFuzzer
  clang-16 libclang-rt-16-dev libfuzzer-16-dev
  # whole-program tests and the screenshot: virtual display, window tools, a tray host
  xvfb xauth x11-utils xdotool trayer
  # the log window's monospaced font and the interface font
  fonts-dejavu-core
  # install checks: desktop entries, AppStream metadata; the package's
  # dependency computation (dpkg-shlibdeps) and its file capability
  desktop-file-utils appstream dpkg-dev file libcap2-bin
  # the NetworkManager stand-in of the tests: a private D-Bus daemon and its mock template
  dbus python3-dbusmock
  # the kernel's nl80211 scan dump (generic netlink)
  libnl-genl-3-dev
  # vendor names of BSSIDs (the OUI registry)
  ieee-data
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
