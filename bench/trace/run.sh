#!/usr/bin/env bash
# Times a million-step run plain, with --trace into a file, and with the step and time budgets watching.
set -euo pipefail
cd "$(dirname "$0")"
vorla=${VORLA:-../../build/vorla}
TIMEFORMAT=%R
t() { { time "$@" >/dev/null </dev/null; } 2>&1; }
out=$(mktemp)
trap 'rm -f "$out"' EXIT
echo "plain:              $(t "$vorla" steps.vl)s"
echo "--trace to a file:  $( { time "$vorla" --trace steps.vl >/dev/null 2>"$out" </dev/null; } 2>&1)s ($(wc -l <"$out") lines)"
echo "--trace to a pipe:  $( { time "$vorla" --trace steps.vl 2>&1 >/dev/null </dev/null | wc -l >/dev/null; } 2>&1)s"
echo "budgets:            $(t "$vorla" --max-steps 2000000 --max-time 600 steps.vl)s"
