#!/usr/bin/env bash
# Installs what is missing and builds Aerlume (normal build in build/normal).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/normal" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build/normal" -j "$(nproc)"
echo "Built into $root/build/normal. The main window comes with a later issue; until then this command only builds."
