#!/usr/bin/env bash
# Builds and runs every test through ctest. --sanitize does the same in a separate
# AddressSanitizer + UndefinedBehaviorSanitizer build, --tsan in a ThreadSanitizer build.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
ensure_packages

case "${1:-}" in
  --sanitize)
    dir=build-sanitize
    configure_and_build "$dir" -DTESSARO_SANITIZE=ON -DTESSARO_BUILD_BENCH=OFF
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ;;
  --tsan)
    dir=build-tsan
    configure_and_build "$dir" -DTESSARO_SANITIZE_THREAD=ON -DTESSARO_BUILD_BENCH=OFF
    # A race fails its test; the report names both threads' stacks.
    export TSAN_OPTIONS=halt_on_error=0:exitcode=66:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp
    ;;
  "")
    dir=build
    configure_and_build "$dir"
    ;;
  *)
    echo "usage: $0 [--sanitize | --tsan]" >&2
    exit 2
    ;;
esac

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" --timeout 300
