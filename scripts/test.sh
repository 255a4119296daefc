#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test three ways:
#   1. AddressSanitizer + UndefinedBehaviorSanitizer, the whole suite;
#   2. ThreadSanitizer, the core (non-widget) suite;
#   3. the fuzz targets (clang, libFuzzer) over their seeds plus a fixed
#      number of new inputs each;
#   4. a normal build, the whole suite (its CTest summary ends the output).
# Any sanitizer report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"

jobs=$(nproc)
supp="$root/tests/sanitizers"

configure_and_build() {
  local dir=$1; shift
  cmake -S "$root" -B "$root/build/$dir" -G Ninja "$@" > "$root/build/$dir.configure.log" 2>&1 ||
    { cat "$root/build/$dir.configure.log"; return 1; }
  cmake --build "$root/build/$dir" -j "$jobs"
}

run_ctest() {
  local dir=$1; shift
  ctest --test-dir "$root/build/$dir" --output-on-failure -j "$jobs" "$@"
}

mkdir -p "$root/build"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
configure_and_build asan -DCMAKE_BUILD_TYPE=Debug -DAERLUME_SANITIZER=address -DAERLUME_BENCH=OFF
ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0:exitcode=23" \
LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp" \
  run_ctest asan

echo "== ThreadSanitizer (core suite)"
configure_and_build tsan -DCMAKE_BUILD_TYPE=Debug -DAERLUME_SANITIZER=thread -DAERLUME_CORE_ONLY=ON -DAERLUME_BENCH=OFF
# The sanitizer runtime of this compiler needs a fixed address layout on
# kernels with high mmap randomisation; setarch -R gives it one.
TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$supp/tsan.supp" \
  setarch "$(uname -m)" -R ctest --test-dir "$root/build/tsan" --output-on-failure -j "$jobs"

echo "== Fuzz targets"
CC=clang-16 CXX=clang++-16 cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DAERLUME_FUZZ=ON -DAERLUME_BENCH=OFF > "$root/build/fuzz.configure.log" 2>&1 ||
  { cat "$root/build/fuzz.configure.log"; exit 1; }
cmake --build "$root/build/fuzz" -j "$jobs" --target aerlume_fuzzers
run_ctest fuzz -L fuzz

echo "== Normal build"
configure_and_build normal -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_ctest normal
