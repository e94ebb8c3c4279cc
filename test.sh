#!/usr/bin/env bash
# Builds and runs every test through ctest. --sanitize does the same in a separate
# AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
ensure_packages

if [ "${1:-}" = "--sanitize" ]; then
  dir=build-sanitize
  configure_and_build "$dir" -DTESSARO_SANITIZE=ON -DTESSARO_BUILD_BENCH=OFF
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  configure_and_build "$dir"
fi

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" --timeout 300
