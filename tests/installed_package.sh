#!/usr/bin/env bash
# Installs a built tree into a temporary prefix, then configures, builds and runs tests/consumer against
# it with find_package(vorla), and once more with pkg-config alone: what a host project outside this tree does.
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
# The same host without CMake, through pkg-config: C++17, warnings as errors.
pc_dir=$(dirname "$(find "$work/prefix" -name vorla.pc)")
# shellcheck disable=SC2046,SC2086
c++ -std=c++17 -Wall -Wextra -Werror $flags "$source/main.cpp" -o "$work/pc_consumer" \
  $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs vorla)
"$work/pc_consumer"
# A host that builds without exceptions uses the try_ calls alone.
# shellcheck disable=SC2046,SC2086
c++ -std=c++17 -fno-exceptions -Wall -Wextra -Werror $flags "$source/noexcept_host.cpp" -o "$work/noexcept_host" \
  $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs vorla)
"$work/noexcept_host"
