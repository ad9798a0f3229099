#!/usr/bin/env bash
# make-dist.sh: builds what ships into <build>/dist/: Morvane-<version>-setup.exe
# (NSIS) and Morvane-<version>-portable.zip (the exe, the policy template and a
# read-me). The version is the build's own (generated/morvane_version.h).
#   MORVANE_BUILD  build folder (default: <repo>/build)
#   --version V    another version for the installer's name and entry (the
#                  installer test makes an "upgrade" this way); the exe is the same
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVANE_BUILD:-$repo/build}
build=$(cd "$build" && pwd)
version=$(sed -n 's/^#define MORVANE_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/morvane_version.h")
out="$build/dist"
zip_too=1
while [ $# -gt 0 ]; do
  case $1 in
    --version) version=$2; zip_too=0; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: make-dist.sh [--version V] [--out DIR]" >&2; exit 2 ;;
  esac
done
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "no version found in $build/generated" >&2; exit 1; }
command -v makensis >/dev/null || { echo "makensis not found; run tools/setup.sh" >&2; exit 1; }

stage="$build/dist/stage"
rm -rf "$stage"
mkdir -p "$stage/policies/en-US" "$out"
# Morvane.exe in the build folder is already stripped (its debug information
# stays there as Morvane.exe.debug).
cp "$build/Morvane.exe" "$stage/"
cp "$repo/policies/morvane.admx" "$stage/policies/"
cp "$repo/policies/en-US/morvane.adml" "$stage/policies/en-US/"
sed "s/@VERSION@/$version/" "$repo/installer/readme.txt" >"$stage/readme.txt"

makensis -V2 -INPUTCHARSET UTF8 \
  "-DVERSION=$version" "-DSTAGE=$stage" "-DICON=$repo/res/morvane.ico" \
  "-DOUTFILE=$out/Morvane-$version-setup.exe" "$repo/installer/morvane.nsi"

if [ $zip_too = 1 ]; then
  rm -f "$out/Morvane-$version-portable.zip"
  (cd "$stage" && zip -q -X -r "$out/Morvane-$version-portable.zip" Morvane.exe readme.txt policies)
fi
ls -l "$out"/Morvane-"$version"-*
