#!/usr/bin/env bash
# stress-resident.sh [CYCLES] [IDLE_SECONDS] [MAX_DELAY_MS]: the resident program's stress run
# (start, plant traces, whole sweep from the tray, "Exit" mid-sweep; default
# 200 cycles; "Exit" comes 0 to MAX_DELAY_MS after the sweep request, default
# 300) and its idle cost (private memory after start-up, CPU time over
# 60 idle seconds, as Windows reports it and as Linux counts the Wine process).
# Not part of `make test`; takes about 20 minutes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cycles=${1:-200}
idle=${2:-60}
delay=${3:-300}
export MORVANE_BUILD=${MORVANE_BUILD:-$here/../build}
cmake --build "$MORVANE_BUILD" -j2 --target Morvane SeedTraces bench_resident_stress >/dev/null
[ "$cycles" -gt 0 ] && "$here/run-bench.sh" resident_stress -- --cycles "$cycles" --max-delay "$delay"

out=$(mktemp)
"$here/run-bench.sh" resident_stress -- --idle "$idle" >"$out" 2>&1 &
bench=$!
for _ in $(seq 1 120); do grep -q 'after start-up' "$out" && break; sleep 0.5; done
# The Morvane process of this build's bench prefix (other builds may run theirs).
prefix=$(cd "$MORVANE_BUILD" && pwd)/wine-bench
pid=
for p in $(pgrep -f 'Morvane\.exe' || true); do
  if tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then pid=$p; break; fi
done
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
if [ -n "$pid" ]; then
  # Wine reports no private bytes to Windows callers: ask Linux.
  grep -E '^(VmRSS|RssAnon|RssFile)' "/proc/$pid/status" | tr -s ' \t' ' ' | sed 's/^/Linux: /'
  awk '/^Private_(Clean|Dirty)/ {kb += $2} END {print "Linux: private (clean + dirty) " kb " kB"}' \
    "/proc/$pid/smaps_rollup"
  t0=$(ticks "$pid")
  sleep "$idle"
  t1=$(ticks "$pid")
  echo "Linux: the Morvane process used $((t1 - t0)) clock ticks ($(getconf CLK_TCK)/s) over $idle idle seconds"
fi
wait "$bench" || true
cat "$out"
rm -f "$out"
