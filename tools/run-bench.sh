#!/usr/bin/env bash
# run-bench.sh [name ...]: runs the benchmarks (all, or bench_<name>) in the
# bench prefix under Xvfb with one warm wineserver. Arguments after -- go to each program.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PREFIX_NAME=bench
source "$here/wine-env.sh"
"$here/make-prefix.sh" bench
if [ -z "${MORVANE_UNDER_XVFB:-}" ]; then
  export MORVANE_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
names=(); extra=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then shift; extra=("$@"); break; fi
  names+=("$1"); shift
done
cd "$MORVANE_BUILD"
"$WINESERVER_BIN" -p
trap '"$WINESERVER_BIN" -k >/dev/null 2>&1 || true' EXIT
"$WINE_BIN" rundll32.exe user32.dll,MessageBeep </dev/null >/dev/null 2>&1 || true
if [ ${#names[@]} -eq 0 ]; then
  for exe in "$MORVANE_BUILD"/bench/bench_*.exe; do [ -e "$exe" ] && names+=("$(basename "$exe" .exe | sed 's/^bench_//')"); done
fi
for n in "${names[@]}"; do
  echo "== bench_$n"
  "$here/wine-run.sh" --prefix bench "$MORVANE_BUILD/bench/bench_$n.exe" "${extra[@]}"
done
