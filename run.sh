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
  if [ -x build/tools/sim/tessaro-sim ]; then
    sim_out=$(mktemp)
    build/tools/sim/tessaro-sim </dev/null >"$sim_out" 2>&1 &
    sim_pid=$!
    trap 'kill $sim_pid 2>/dev/null || true; rm -f "$sim_out"' EXIT
    # The search lists only published ports: wait until the simulator says they are.
    for _ in $(seq 100); do
      grep -q "ports published" "$sim_out" && break
      kill -0 $sim_pid 2>/dev/null || break
      sleep 0.1
    done
    cat "$sim_out"
  else
    echo "The simulator is not built yet; starting with the demo devices only."
  fi
fi
build/tessaro "$@"
