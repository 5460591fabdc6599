#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer. Warnings are errors in every build, a
# Clang build checks the other compiler, and the sources must match .clang-format.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
scripts/check-format.sh
scripts/build.sh build -DVREL_WERROR=ON
scripts/build.sh build-asan -DVREL_WERROR=ON -DVREL_SANITIZE=ON
CC=clang CXX=clang++ scripts/build.sh build-clang -DVREL_WERROR=ON -DVREL_BENCH=OFF

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build --output-on-failure --parallel "$(nproc)" --timeout 600
ctest --test-dir build-asan --output-on-failure --parallel "$(nproc)" --timeout 900

# Each fuzz target briefly, as a smoke test; longer runs: scripts/fuzz.sh SECONDS.
scripts/fuzz.sh 20
