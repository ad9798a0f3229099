#!/usr/bin/env bash
# stress-resident.sh [CYCLES] [IDLE_SECONDS]: the resident program's stress run
# (start, plant traces, whole sweep from the tray, "Exit" mid-sweep; default
# 200 cycles) and its idle cost (private memory after start-up, CPU time over
# 60 idle seconds). Not part of `make test`; takes about 20 minutes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cycles=${1:-200}
idle=${2:-60}
export MORVANE_BUILD=${MORVANE_BUILD:-$here/../build}
cmake --build "$MORVANE_BUILD" -j2 --target Morvane SeedTraces bench_resident_stress >/dev/null
"$here/run-bench.sh" resident_stress -- --cycles "$cycles"
"$here/run-bench.sh" resident_stress -- --idle "$idle"
