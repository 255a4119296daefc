#!/bin/sh
# run-target.sh FUZZER SEEDS RUNS ARTIFACTS: the fuzzer over its seeds plus
# RUNS new inputs. New inputs go to a scratch folder, so the tree is left
# alone; a crashing input is kept in ARTIFACTS.
set -eu
fuzzer=$1 seeds=$2 runs=$3 artifacts=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"
supp=$(dirname "$0")/../tests/sanitizers
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$supp/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:suppressions=$supp/ubsan.supp}"
export XDG_RUNTIME_DIR="$work"
"$fuzzer" -runs="$runs" -seed=1 -max_len=8192 -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$artifacts/$(basename "$fuzzer")-" "$work" "$seeds"
