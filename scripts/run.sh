#!/usr/bin/env bash
# Installs what is missing, builds Quillbox and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target quillbox
exec build/default/src/app/quillbox
