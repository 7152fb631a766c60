#!/usr/bin/env bash
# Installs what is missing, builds vorla and runs the tour script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
if [ -x build/vorla ]; then
  ./build/vorla examples/tour.vl </dev/null
else
  ./build/vorla-parse examples/tour.vl
fi
