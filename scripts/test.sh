#!/usr/bin/env bash
# Installs what is missing, builds Quillbox twice (normal, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite headless on both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-sources.sh
jobs=$(nproc)
for preset in default asan; do
    echo "== $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    QT_QPA_PLATFORM=offscreen ctest --preset "$preset" -j "$jobs"
done
