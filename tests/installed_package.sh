#!/usr/bin/env bash
# Installs a built tree into a temporary prefix, then configures, builds and runs tests/consumer against
# it with find_package(vorla): what a host project outside this tree does.
# Usage: installed_package.sh BUILD_DIR CONSUMER_SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
# The consumer is built like the tree it links against: a sanitizer build's library needs its runtimes.
flags=$(grep -E '^CMAKE_CXX_FLAGS:' "$build/CMakeCache.txt" | cut -d= -f2-)
type=$(grep -E '^CMAKE_BUILD_TYPE:' "$build/CMakeCache.txt" | cut -d= -f2-)
cmake -S "$source" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE="${type:-Release}" \
  -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$work/build" >/dev/null
"$work/build/consumer"
