#!/usr/bin/env bash
# fetch-sqlite.sh DEST: puts SQLite's official amalgamation (sqlite3.c,
# sqlite3.h) into DEST, for CMake to compile. The tarball comes from the npm
# package sqlite3, which carries it unchanged in its deps/ folder; it is taken
# only when its sha256 is the one below. Idempotent: a DEST that already holds
# this version is left as it is. Nothing fetched here is ever committed.
set -euo pipefail
dest=${1:?usage: fetch-sqlite.sh DEST}
npm_package="sqlite3@6.0.1"
tarball="sqlite-autoconf-3520000.tar.gz"
sha256="f6b50b0c103392af32a8be15b2b9d25959de9a00a70c3979128aafeaa5338b3f"
stamp="$dest/.source-sha256"
if [ -f "$dest/sqlite3.c" ] && [ -f "$dest/sqlite3.h" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$sha256" ]; then
  exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
  echo "Installing: npm"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq npm >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "$npm_package" >/dev/null)
pack=$(ls "$work"/sqlite3-*.tgz)
tar -xzf "$pack" -C "$work" "package/deps/$tarball"
got=$(sha256sum "$work/package/deps/$tarball" | cut -d' ' -f1)
if [ "$got" != "$sha256" ]; then
  echo "fetch-sqlite.sh: $tarball has sha256 $got, expected $sha256; not used" >&2
  exit 1
fi
tar -xzf "$work/package/deps/$tarball" -C "$work" --no-same-owner --strip-components=1 \
  "${tarball%.tar.gz}/sqlite3.c" "${tarball%.tar.gz}/sqlite3.h"
mkdir -p "$dest"
mv "$work/sqlite3.c" "$work/sqlite3.h" "$dest/"
echo "$sha256" >"$stamp"
echo "SQLite amalgamation ready in $dest"
