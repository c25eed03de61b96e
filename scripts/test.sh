#!/usr/bin/env bash
# Installs what is missing, runs each fuzzer for a few seconds, then builds Quillbox twice
# (normal, and with AddressSanitizer and UndefinedBehaviorSanitizer) and runs the whole test
# suite headless on both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-sources.sh
jobs=$(nproc)
QB_JOBS=$jobs scripts/fuzz.sh 5
for preset in default asan; do
    echo "== $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    QT_QPA_PLATFORM=offscreen ctest --preset "$preset" -j "$jobs"
done
