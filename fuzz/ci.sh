#!/usr/bin/env bash
# The suite's fuzz step: replays every saved regression input, then runs each fuzz target briefly
# (about 90 s in all). Needs clang++ with libFuzzer; without them it says so and skips.
set -euo pipefail
cd "$(dirname "$0")/.."

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' > "$probe/p.cpp"
if ! command -v clang++ >/dev/null 2>&1 ||
   ! clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1; then
  echo "fuzz: SKIPPED: clang++ with libFuzzer is not installed (Debian: clang libclang-rt-dev)"
  exit 0
fi

jobs=$(nproc)
cmake -S . -B build-fuzz -DVORLA_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$jobs" --target script_fuzz parse_fuzz vm_fuzz
(cd build-fuzz && ctest --output-on-failure -R '_fuzz_regressions$')
fuzz/run.sh script_fuzz 40
fuzz/run.sh parse_fuzz 20
fuzz/run.sh vm_fuzz 30
echo "fuzz: the three targets ran without a finding"
