#!/usr/bin/env bash
# run-once.sh: plants a fresh set of traces in the demo prefix (never the
# user's own), then runs "Morvane.exe /once /report" there. Extra arguments go
# to Morvane (for example /preview).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PREFIX_NAME=demo
source "$here/wine-env.sh"
"$here/make-prefix.sh" demo
# A trace the platform cannot take (say, no recycle bin) leaves the others planted.
"$here/wine-run.sh" --prefix demo "$MORVANE_BUILD/SeedTraces.exe" || echo "(some traces could not be planted)" >&2
exec "$here/wine-run.sh" --prefix demo "$MORVANE_BUILD/Morvane.exe" /once /report "$@"
