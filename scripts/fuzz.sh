#!/usr/bin/env bash
# Builds the fuzz targets (build/fuzz, clang with libFuzzer) and runs each for
# SECONDS (default 60), or only the named targets:
#   bash scripts/fuzz.sh 600 world_file notification
# Each target starts from its seeds (fuzz/corpus/<name>) and keeps what it
# finds in build/fuzz/corpus/<name>, so a later run goes on from there.
# A crashing input is written to build/fuzz/artifacts/; copy it into the
# seeds once the fault is fixed, so the regular tests keep trying it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
bash "$root/scripts/install-deps.sh"
CC=clang-16 CXX=clang++-16 cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DAERLUME_FUZZ=ON -DAERLUME_BENCH=OFF > /dev/null
cmake --build "$root/build/fuzz" -j "$(nproc)" --target aerlume_fuzzers

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for seeds in "$root"/fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi
mkdir -p "$root/build/fuzz/artifacts"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:suppressions=$root/tests/sanitizers/ubsan.supp}"
for name in "${targets[@]}"; do
  work="$root/build/fuzz/corpus/$name"
  mkdir -p "$work"
  echo "== $name for $seconds s"
  "$root/build/fuzz/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len=8192 -timeout=20 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$root/build/fuzz/artifacts/$name-" "$work" "$root/fuzz/corpus/$name"
done
