#!/usr/bin/env bash
# make-prefix.sh NAME: creates the sandboxed Wine prefix <build>/wine-NAME once.
# The prefix maps only the build folder as drive D:, has no Z: (the Linux root),
# and its profile folders are real folders instead of links into a home folder.
set -euo pipefail
export PREFIX_NAME=${1:?usage: make-prefix.sh NAME}
source "$(dirname "$0")/wine-env.sh"
# The stamp's number changes whenever the recipe does, so older prefixes are made anew.
stamp="$WINEPREFIX/.morvane-ready-3"
[ -f "$stamp" ] && exit 0
[ -n "${WINE_BIN:-}" ] || { echo "wine64 not found; run tools/setup.sh" >&2; exit 1; }
rm -rf "$WINEPREFIX"
cd "$MORVANE_BUILD"
echo "Creating Wine prefix $WINEPREFIX ..."
"$WINE_BIN" wineboot --init >/dev/null 2>&1 || true
"$WINESERVER_BIN" -w || true
dos="$WINEPREFIX/dosdevices"
[ -d "$dos" ] || { echo "wineboot did not create $dos" >&2; exit 1; }
rm -f "$dos/z:" "$dos/z::"
ln -sfn "$MORVANE_BUILD" "$dos/d:"
# Replace every link in the profiles (Desktop, Documents, Music ..., and deeper
# ones such as AppData\Roaming\Microsoft\Windows\Templates) by a real folder.
find "$WINEPREFIX/drive_c/users" -type l | while read -r link; do
  rm -f "$link"; mkdir -p "$link"
done
# Wine draws each window's frame itself rather than leaving it to a window
# manager, which Xvfb does not have: a hidden or closed window is otherwise
# waited on for two seconds to be withdrawn by a manager that never comes.
"$WINE_BIN" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
"$WINESERVER_BIN" -w || true
touch "$stamp"
echo "Wine prefix ready."
