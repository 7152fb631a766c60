#!/usr/bin/env bash
# Runs one fuzz target for a given time: fuzz/run.sh TARGET SECONDS [LIBFUZZER-OPTION...]
# TARGET is script_fuzz (a whole script run), parse_fuzz (vorla-parse's parser) or vm_fuzz (a script on
# both engines, compared). Builds build-fuzz with clang++ when needed, seeds from tests/scripts and
# examples, keeps the grown corpus in build-fuzz/corpus/TARGET and writes any crashing input to
# build-fuzz/artifacts/TARGET/. Runs under nice and exits non-zero when the target found a crash, a leak
# or a timeout.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: fuzz/run.sh script_fuzz|parse_fuzz|vm_fuzz SECONDS [LIBFUZZER-OPTION...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
case "$target" in
  script_fuzz|parse_fuzz|vm_fuzz) ;;
  *) echo "fuzz/run.sh: unknown target '$target' (script_fuzz, parse_fuzz or vm_fuzz)" >&2; exit 2 ;;
esac

build=build-fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DVORLA_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
nice -n 10 cmake --build "$build" -j"$(nproc)" --target "$target" >/dev/null

python3 fuzz/prepare.py "$build/fuzz-input"
mkdir -p "$build/corpus/$target" "$build/artifacts/$target"

# One job on one core: the machine is shared. A run of one input longer than the timeout is a hang,
# since the script target bounds the steps a script may take; memory beyond the limit is a runaway.
# The timeout leaves room for what the limits allow (a vector of ten million elements takes about
# ten seconds in this instrumented build).
exec nice -n 10 "$build/$target" \
  -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -max_len=8192 \
  -dict="$build/fuzz-input/vorla.dict" \
  -artifact_prefix="$build/artifacts/$target/" \
  -print_final_stats=1 -print_funcs=0 "$@" \
  "$build/corpus/$target" "$build/fuzz-input/seeds"
