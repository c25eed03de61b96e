#!/usr/bin/env bash
# Source rules a compiler does not check: formatting, and every message box, file dialog and
# desktop launch going through the platform interface so tests can answer them.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
files=$(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror $files 2>/dev/null; then
    echo "check-sources: files are not clang-formatted (run: clang-format -i \$(git ls-files '*.cpp' '*.h'))"
    clang-format --dry-run $files 2>&1 | grep -E '^[^ ]+:[0-9]+:[0-9]+: ' | cut -d: -f1 | sort -u
    status=1
fi
if git grep -n -E '\b(QMessageBox|QFileDialog|QDesktopServices)\b' -- 'src/*' ':!src/platform/*'; then
    echo "check-sources: use the platform interface (src/platform) for message boxes, file dialogs and launches"
    status=1
fi
exit $status
