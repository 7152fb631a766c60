#!/usr/bin/env bash
# Times each benchmark script with vorla and, where installed, its Lua and Python twins.
set -euo pipefail
cd "$(dirname "$0")"
vorla=${VORLA:-../build/vorla}
TIMEFORMAT=%R
t() { { time "$@" >/dev/null </dev/null; } 2>&1; }
for script in *.vl; do
  name=${script%.vl}
  line="$name: vorla $(t "$vorla" "$script")s"
  if command -v lua5.4 >/dev/null && [ -f "$name.lua" ]; then line+="  lua $(t lua5.4 "$name.lua")s"; fi
  if command -v python3 >/dev/null && [ -f "$name.py" ]; then line+="  python $(t python3 "$name.py")s"; fi
  echo "$line"
done
