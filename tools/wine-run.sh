#!/usr/bin/env bash
# wine-run.sh [--prefix NAME] program.exe [args...]
# Runs a Windows program in one of the project's prefixes (default: test), from
# inside the build folder, which the prefix maps as drive D:.
set -euo pipefail
name=test
if [ "${1:-}" = "--prefix" ]; then name=$2; shift 2; fi
export PREFIX_NAME=$name
source "$(dirname "$0")/wine-env.sh"
[ -f "$WINEPREFIX/.morvane-ready-3" ] || "$(dirname "$0")/make-prefix.sh" "$name" >&2
prog=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); shift
# A test program run by hand finds the safety tests' link fixtures made afresh
# (ctest runs get them once from run-tests.sh, and a missing one fails there).
case "$(basename "$prog")" in
  test_*.exe) [ "$name" = test ] && [ -z "${MORVANE_UNDER_CTEST:-}" ] && "$(dirname "$0")/make-fixtures.sh" ;;
esac
cd "$MORVANE_BUILD"
exec "$WINE_BIN" "$prog" "$@"
