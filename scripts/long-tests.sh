#!/usr/bin/env bash
# The longer reliability run, beyond what scripts/test.sh does on every change (about 35
# minutes on two cores with the defaults):
#   - the crash-safety test with 200 kills of a program posting records (QB_CRASH_KILLS);
#   - the store tests under valgrind memcheck;
#   - each fuzzer for 10 minutes (QB_FUZZ_SECONDS).
# Uses the normal build in build/default, building only what it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=${QB_JOBS:-$(nproc)}
store_tests=(tst_profilefile tst_preferences tst_bookdataset tst_recordstore)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs" --target tst_crashsafety "${store_tests[@]}"
export QT_QPA_PLATFORM=offscreen

echo "== crash safety, ${QB_CRASH_KILLS:-200} kills"
QB_CRASH_KILLS=${QB_CRASH_KILLS:-200} build/default/tests/reliability/tst_crashsafety \
    killedWhilePostingLosesNothing

echo "== store tests under valgrind memcheck"
for test in "${store_tests[@]}"; do
    # Without the regular expression JIT: valgrind cannot follow generated code.
    QT_ENABLE_REGEXP_JIT=0 valgrind -q --tool=memcheck --error-exitcode=1 \
        "build/default/tests/store/$test"
done

echo "== fuzzers"
QB_JOBS=$jobs scripts/fuzz.sh "${QB_FUZZ_SECONDS:-600}"
