#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each of them:
#   fuzz.sh [SECONDS]   (default 20 per target)
# Each target keeps its growing corpus in build-fuzz/corpus/<target>, seeded from
# fuzz/corpus/<target>; a crash leaves its input in build-fuzz/crashes and fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=$root/build-fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVREL_FUZZ=ON -DVREL_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzzers --parallel "$(nproc)"

mkdir -p "$build/crashes"
for target in $(find "$build/fuzz" -maxdepth 1 -type f -executable -name "*_fuzz" | sort); do
    name=$(basename "$target")
    corpus=$build/corpus/$name
    mkdir -p "$corpus"
    seeds=()
    [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
    echo "== $name: ${seconds}s"
    "$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$build/crashes/$name-" "$corpus" "${seeds[@]}"
done
