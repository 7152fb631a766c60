#!/usr/bin/env bash
# Times each benchmark with vorla against its Lua 5.4 and CPython twins; adds memory per vector element and start-up.
#
# Usage: bench/run.sh [-q] [-n RUNS] [-c] [-e ENGINE] [NAME ...]
#   -q        quick: one run of each instead of five
#   -n RUNS   runs of each interpreter per benchmark (default 5)
#   -c        processor time (user + system) instead of wall clock: steadier on a busy machine, 1 ms steps
#   -e ENGINE vorla's engine (--engine=ENGINE: tree or vm); a benchmark the engine refuses shows "refused"
#   NAME      only these benchmarks (default: every NAME.vl here whose name does not start with "_")
# VORLA=path selects the interpreter (default: build/vorla of this checkout). The twins run under `lua5.4` and
# Debian's /usr/bin/python3 (never another Python: an unoptimised build would flatter the ratio), each only
# when installed. The runs of one benchmark alternate (vorla, Lua, Python, vorla, ...), so load that comes
# and goes on a shared machine spreads over all three; a ratio is the median of vorla's time divided by the
# other's time in the same round. Times are whole-process, start-up included.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
vorla=${VORLA:-$here/../build/vorla}
[[ $vorla == */* ]] || vorla=$(command -v "$vorla" || echo "$vorla")
vorla=$(realpath -m "$vorla")
lua=$(command -v lua5.4 || true)
python=/usr/bin/python3
[ -x "$python" ] || python=

runs=5
cpu=0
engine=()
while getopts "qn:ce:h" option; do
  case $option in
    q) runs=1 ;;
    n) runs=$OPTARG ;;
    c) cpu=1 ;;
    e) engine=("--engine=$OPTARG") ;;
    *) sed -n '4,9s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: -n takes a positive number of runs" >&2; exit 2; }
[ -x "$vorla" ] || { echo "run.sh: no interpreter at $vorla (build it, or set VORLA=path)" >&2; exit 2; }

cd "$here"
if [ $# -gt 0 ]; then
  names=("$@")
else
  # The order of the table in the README; a benchmark added later joins at the end.
  names=(fib loop procloop methods fields vector hash strings strcat except sim wordfreq procs spawn
         binarytrees nbody matrix_norm fannkuch richards jsonish queuesim sieve)
  for script in [!_]*.vl; do
    [[ " ${names[*]} " == *" ${script%.vl} "* ]] || names+=("${script%.vl}")
  done
fi
for name in "${names[@]}"; do
  [ -f "$name.vl" ] || { echo "run.sh: no benchmark $name (no $here/$name.vl)" >&2; exit 2; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# seconds COMMAND...: runs COMMAND with its output in $scratch/out and prints the time it took in seconds:
# wall clock, or with -c the processor time (user and system) of the process; "refused" when the engine
# chosen with -e does not run the script.
seconds() {
  local status=0 TIMEFORMAT='%3R %3U %3S'
  { time "$@" >"$scratch/out" 2>"$scratch/err" </dev/null || status=$?; } 2>"$scratch/time"
  if [ $status -eq 3 ] && grep -q "cannot run this program yet" "$scratch/err"; then
    echo refused
    return
  fi
  if [ $status -ne 0 ]; then
    echo "run.sh: '$*' failed with exit code $status:" >&2
    cat "$scratch/out" "$scratch/err" >&2
    exit 1
  fi
  awk -v cpu="$cpu" '{ print cpu ? $2 + $3 : $1 }' "$scratch/time"
}

median() {
  tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# ratios "a1 a2 ..." "b1 b2 ...": a_i / b_i for each round.
ratios() {
  awk -v a="$1" -v b="$2" 'BEGIN { n = split(a, x, " "); split(b, y, " "); for (i = 1; i <= n; ++i) print x[i] / y[i] }'
}

# Checks that a twin printed what vorla printed in the same round; a mismatch makes the timing meaningless.
same_output() {
  if ! cmp -s "$scratch/vorla.out" "$scratch/out"; then
    echo "run.sh: $1 prints something else than $2.vl:" >&2
    diff "$scratch/vorla.out" "$scratch/out" >&2 || true
    exit 1
  fi
}

echo "vorla: $vorla${engine:+ ${engine[*]}}; $runs run(s) each, $([ $cpu = 1 ] && echo "processor time" || echo "wall clock"); $(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| benchmark | vorla | vs Lua 5.4 | vs CPython |"
echo "|---|---|---|---|"
for name in "${names[@]}"; do
  v=() l=() p=()
  for ((round = 0; round < runs; ++round)); do
    v+=("$(seconds "$vorla" "${engine[@]}" "$name.vl")")
    if [ "${v[-1]}" = refused ]; then
      echo "| $name | refused | – | – |"
      continue 2
    fi
    cp "$scratch/out" "$scratch/vorla.out"
    if [ -n "$lua" ] && [ -f "$name.lua" ]; then
      l+=("$(seconds "$lua" "$name.lua")")
      same_output "$name.lua" "$name"
    fi
    if [ -n "$python" ] && [ -f "$name.py" ]; then
      p+=("$(seconds "$python" -B "$name.py")")
      same_output "$name.py" "$name"
    fi
  done
  line="| $name | $(echo "${v[*]}" | median | awk '{ printf "%.3f s", $1 }') |"
  for other in l p; do
    declare -n times=$other
    if [ ${#times[@]} -gt 0 ]; then
      line+=" $(ratios "${v[*]}" "${times[*]}" | median | awk '{ printf "%.2f×", $1 }') |"
    else
      line+=" – |"
    fi
    unset -n times
  done
  echo "$line"
done
echo

# Bytes per element: peak resident size with 10^6 ints in a vector minus that with none, both in KiB.
per_element() {
  [ -x /usr/bin/time ] || { echo "n/a (needs /usr/bin/time)"; return; }
  local full empty
  if [ "$(seconds "$@" 0)" = refused ]; then echo "refused:"; return; fi
  full=$(/usr/bin/time -f %M "$@" 1000000 2>&1 >/dev/null </dev/null | tail -n 1)
  empty=$(/usr/bin/time -f %M "$@" 0 2>&1 >/dev/null </dev/null | tail -n 1)
  awk -v f="$full" -v e="$empty" 'BEGIN { printf "%.0f", (f - e) * 1024 / 1000000 }'
}
line="Vector of 10^6 int: vorla $(per_element "$vorla" "${engine[@]}" _vector_memory.vl) bytes per element"
[ -n "$lua" ] && line+=", Lua $(per_element "$lua" _vector_memory.lua)"
[ -n "$python" ] && line+=", CPython $(per_element "$python" -B _vector_memory.py)"
echo "$line."

# Start-up: the median of many runs of a script with nothing to do.
startup() {
  local times=() i
  for ((i = 0; i < 4 * runs + 1; ++i)); do times+=("$(seconds "$@")"); done
  echo "${times[*]}" | median | awk '{ printf "%.1f ms", $1 * 1000 }'
}
line="Start-up of an empty script: vorla $(startup "$vorla" "${engine[@]}" _empty.vl)"
[ -n "$lua" ] && line+=", Lua $(startup "$lua" _empty.lua)"
[ -n "$python" ] && line+=", CPython $(startup "$python" -B _empty.py)"
echo "$line."
