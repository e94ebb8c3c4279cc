#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz (installing clang and its runtime
# when missing) and runs each of them for a short time. Exits non-zero when the build fails
# or a fuzzer finds a crash, a hang or a leak; the input that did it is kept in
# build-fuzz/findings/<fuzzer>/.
#
#   scripts/fuzz.sh [seconds per fuzzer, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

seconds=${1:-30}
dir=build-fuzz
fuzzers=(segments/segments_fuzzer protocol/alicat_status_fuzzer protocol/alicat_fullscale_fuzzer
         protocol/pump_reply_fuzzer)

tessaro_packages=(cmake ninja-build ccache clang libclang-rt-14-dev)
ensure_packages

if [ ! -f "$dir/CMakeCache.txt" ]; then
  CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DTESSARO_BUILD_FUZZ=ON -DTESSARO_WITH_QT=OFF -DTESSARO_BUILD_TESTS=OFF -DTESSARO_BUILD_BENCH=OFF
fi
cmake --build "$dir" --parallel "$(nproc)"

failed=()
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  findings="$dir/findings/$name"
  corpus="$dir/corpus/$name"
  mkdir -p "$findings" "$corpus"
  echo "== $name: ${seconds} s"
  # -timeout: an input that takes this long counts as a hang. The corpus folder keeps what a
  # run learned for the next run in the same build folder.
  if ! "$dir/fuzz/$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$findings/" "$corpus" >"$dir/$name.log" 2>&1; then
    tail -n 40 "$dir/$name.log"
    failed+=("$name")
  else
    grep -E '^stat::number_of_executed_units' "$dir/$name.log" || true
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "Fuzzers that failed: ${failed[*]} (inputs in $dir/findings/)" >&2
  exit 1
fi
echo "All ${#fuzzers[@]} fuzzers ran ${seconds} s each without a finding"
