#!/usr/bin/env bash
# run-tests.sh: runs the whole suite under Wine with one warm wineserver and an
# X display from Xvfb (started here when none is given). Extra arguments go to ctest.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PREFIX_NAME=test
source "$here/wine-env.sh"
"$here/make-prefix.sh" test
if [ -z "${DISPLAY:-}" ] || [ -z "${MORVANE_UNDER_XVFB:-}" ]; then
  export MORVANE_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
cd "$MORVANE_BUILD"
# One server for the whole run: a cold start costs seconds per process.
"$WINESERVER_BIN" -p
trap '"$WINESERVER_BIN" -k >/dev/null 2>&1 || true' EXIT
# Start Wine's helper processes (services, the desktop's explorer) now, with
# their output going nowhere: started by the first test that opens a window,
# they would inherit ctest's output pipe and keep it open after the test ends.
"$WINE_BIN" rundll32.exe user32.dll,MessageBeep </dev/null >/dev/null 2>&1 || true
# The link tests' fixtures, fresh for every run (the tests sweep them).
"$here/make-fixtures.sh"
# A safety test skips only when the run says its fixtures may be absent; the
# whole run fails then all the same, so that no skip passes for a pass.
code=0
ctest --test-dir "$MORVANE_BUILD" --output-on-failure "$@" || code=$?
if grep -q "MORVANE-FIXTURE-MISSING" "$MORVANE_BUILD/Testing/Temporary/LastTest.log" 2>/dev/null; then
  echo "Safety tests were skipped because their fixtures are missing:" >&2
  grep -B2 "MORVANE-FIXTURE-MISSING" "$MORVANE_BUILD/Testing/Temporary/LastTest.log" | grep "SKIPPED\|Skipped\|MORVANE" >&2 || true
  exit 1
fi
exit "$code"
