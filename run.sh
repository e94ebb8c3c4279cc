#!/usr/bin/env bash
# Builds Tessaro and starts it. With --sim, the simulated instruments of tessaro-sim are
# started on pseudo-terminals first and stopped when the program ends.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
ensure_packages
configure_and_build build

if [ "${1:-}" = "--sim" ]; then
  shift
  build/tools/sim/tessaro-sim &
  sim_pid=$!
  trap 'kill $sim_pid 2>/dev/null || true' EXIT
  sleep 1
fi
build/tessaro "$@"
