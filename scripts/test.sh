#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: a plain build, then the suite again under
# AddressSanitizer + UndefinedBehaviorSanitizer and under ThreadSanitizer.
#   scripts/test.sh           all three
#   scripts/test.sh --quick   the plain build only
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
run_suite() { # build-dir cmake-options...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DVORLAINE_WERROR=ON "$@" > /dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

run_suite build
if [ "${1:-}" != "--quick" ]; then
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    run_suite build-asan -DVORLAINE_ASAN=ON -DVORLAINE_BENCH=OFF
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
    run_suite build-tsan -DVORLAINE_TSAN=ON -DVORLAINE_BENCH=OFF
fi
echo "All tests passed."
