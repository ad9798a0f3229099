#!/usr/bin/env bash
# setup.sh: installs what a fresh Debian machine lacks to build and test Morvane.
# Idempotent: on a ready machine it only checks and returns in seconds.
set -euo pipefail
need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 xvfb xauth cmake make googletest \
         nsis zip libxml2-utils chromium firefox-esr python3 \
         nlohmann-json3-dev; do
  have_pkg "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${need[@]}" >/dev/null
fi
# SQLite's amalgamation, compiled into the program; it lives in the build
# folder and is fetched again only when missing.
"$(dirname "$0")/fetch-sqlite.sh" "${MORVANE_BUILD:-$(dirname "$0")/../build}/sqlite"
