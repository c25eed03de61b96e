#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (build/fuzz, QB_FUZZ=ON) and runs each one
# for a bounded time:
#   scripts/fuzz.sh          10 seconds per target
#   scripts/fuzz.sh 1800     the long run: half an hour per target
# Inputs found are kept in build/fuzz/corpus/<target>; the committed seeds in
# fuzz/corpus/<target> are only read. A finding is saved as build/fuzz/artifacts/<target>-*
# and fails the script; replay it with: build/fuzz/fuzz/fuzz_<target> <file>
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
targets=(profilefile parsedate cleanfilename)
CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_FUZZ=ON \
    -DBUILD_TESTING=OFF -DQB_BENCHMARKS=OFF >/dev/null
cmake --build build/fuzz -j "${QB_JOBS:-2}" --target "${targets[@]/#/fuzz_}"
mkdir -p build/fuzz/artifacts
for target in "${targets[@]}"; do
    echo "== fuzz_$target, ${seconds}s"
    mkdir -p "build/fuzz/corpus/$target"
    "build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="build/fuzz/artifacts/$target-" \
        "build/fuzz/corpus/$target" "fuzz/corpus/$target"
done
