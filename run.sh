#!/usr/bin/env bash
# Builds Tessaro and starts it. With --sim, simulated instruments are started on
# pseudo-terminals first, so the device search finds them.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
ensure_packages
configure_and_build build

if [ "${1:-}" = "--sim" ]; then
  shift
  if [ -x build/tools/sim/tessaro-sim ]; then
    build/tools/sim/tessaro-sim &
    sim_pid=$!
    trap 'kill $sim_pid 2>/dev/null || true' EXIT
    sleep 1
  else
    echo "The simulator is not built yet; starting with the demo devices only."
  fi
fi
build/tessaro "$@"
