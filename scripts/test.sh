#!/usr/bin/env bash
# Runs the whole test suite: unit and script tests in a normal build, then again under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -DVORLA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs")

# Two interpreters running at once on two threads, under ThreadSanitizer: the one test about threads.
cmake -S . -B build-tsan -DVORLA_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-tsan -j"$jobs" --target unit_embed
TSAN_OPTIONS=halt_on_error=1 build-tsan/unit_embed --gtest_filter='embed.interpreters_on_two_threads*'

# Fuzzing, briefly: replays the saved crash inputs and runs each fuzz target when clang is installed.
bash fuzz/ci.sh
