# Sourced by the tools that run Wine. Sets up the environment for one of the
# project's own Wine prefixes: <build>/wine-<name>. The user's ~/.wine is never used.
#   MORVANE_BUILD  build folder (default: <repo>/build)
#   PREFIX_NAME    test | demo | bench (set by the caller)
_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
MORVANE_BUILD=${MORVANE_BUILD:-$_repo/build}
mkdir -p "$MORVANE_BUILD"
MORVANE_BUILD=$(cd "$MORVANE_BUILD" && pwd)
export MORVANE_BUILD
export WINEPREFIX="$MORVANE_BUILD/wine-${PREFIX_NAME:?PREFIX_NAME not set}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# An empty home inside the build folder: whatever Wine links to "home" lands here.
export HOME="$MORVANE_BUILD/home"
# Wine's recycle bin is the trash of $XDG_DATA_HOME when that is set, else of
# $HOME: a sweep with "Recycle Bin" checked must never reach the developer's.
unset XDG_DATA_HOME
mkdir -p "$HOME"
for _d in /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine /usr/bin; do
  [ -x "$_d/wine64" ] && { WINE_BIN="$_d/wine64"; break; }
done
for _d in /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine /usr/bin; do
  for _n in wineserver64 wineserver; do
    [ -x "$_d/$_n" ] && { WINESERVER_BIN="$_d/$_n"; break 2; }
  done
done
export WINE_BIN WINESERVER_BIN
