#!/usr/bin/env bash
# Builds Quorvex (installing what is missing) and runs the whole test suite.
#   scripts/test.sh              tests of the release build
#   scripts/test.sh --sanitize   tests under AddressSanitizer + UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh "$@"
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-asan
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
ctest --test-dir "$dir" --output-on-failure -j2
