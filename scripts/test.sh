#!/usr/bin/env bash
# Installs what is needed, builds with AddressSanitizer + UndefinedBehaviorSanitizer and runs every
# test. Tests start brindle-sim (the community on loopback) themselves. PRESET=tsan for the
# ThreadSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${PRESET:-asan}
scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
QT_QPA_PLATFORM=offscreen ctest --preset "$preset" "$@"
