#!/bin/sh
# run-target.sh FUZZER SEEDS RUNS ARTIFACTS: the fuzzer over its seeds plus
# RUNS new inputs. New inputs go to a scratch folder, so the tree is left
# alone; a crashing input is kept in ARTIFACTS.
set -eu
fuzzer=$1 seeds=$2 runs=$3 artifacts=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"
"$fuzzer" -runs="$runs" -seed=1 -max_len=8192 -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$artifacts/$(basename "$fuzzer")-" "$work" "$seeds"
