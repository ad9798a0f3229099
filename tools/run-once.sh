#!/usr/bin/env bash
# run-once.sh: runs "Morvane.exe /once /report" in the demo prefix (never the user's own).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PREFIX_NAME=demo
source "$here/wine-env.sh"
"$here/make-prefix.sh" demo
exec "$here/wine-run.sh" --prefix demo "$MORVANE_BUILD/Morvane.exe" /once /report "$@"
