#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh              the normal build (build/)
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh "$@"
dir=build
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
ctest --test-dir "$dir" --output-on-failure -j"$(nproc 2>/dev/null || echo 2)"
