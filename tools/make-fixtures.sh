#!/usr/bin/env bash
# make-fixtures.sh: (re)makes the link fixtures of the safety tests in the
# build folder (D:\fixtures\... inside the test prefix). Called by
# run-tests.sh and by wine-run.sh before a test program, so that a direct run
# of one program finds them too, also after a test swept them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PREFIX_NAME=test
source "$here/wine-env.sh"
# The link tests need folder links, which Win32 code cannot make under Wine
# (CreateSymbolicLinkA is a stub): made here, fresh for every run, because
# the tests sweep the tree that holds them.
fixture="$MORVANE_BUILD/fixtures/link-sweep"
rm -rf "$fixture"  # rm never follows the links inside
mkdir -p "$fixture/tree/sub" "$fixture/precious/inner" "$fixture/precious-empty"
echo "keep one" >"$fixture/precious/keep1.txt"
echo "keep two" >"$fixture/precious/inner/keep2.txt"
echo own >"$fixture/tree/own.txt"
echo plain >"$fixture/tree/sub/plain.txt"
ln -s ../precious "$fixture/tree/link"
ln -s ../precious-empty "$fixture/tree/emptylink"
ln -s "$fixture/precious" "$fixture/tree/sub/deeplink"
# Hostile fixtures: file links that lead out of a swept tree, folder links to
# protected folders, and a folder the link-swap test trades places with.
hostile="$MORVANE_BUILD/fixtures/hostile"
rm -rf "$hostile"
mkdir -p "$hostile/outside" "$hostile/alias"
echo "outside data" >"$hostile/outside/secret.txt"
echo "read-only outside" >"$hostile/outside/ro-secret.txt"
chmod a-w "$hostile/outside/ro-secret.txt"
ln -s "$WINEPREFIX/drive_c/windows" "$hostile/alias/windows"
ln -s "$WINEPREFIX/drive_c" "$hostile/alias/root"
ln -s "$WINEPREFIX/drive_c/users/$(id -un)" "$hostile/alias/profile"
ln -s "$WINEPREFIX/drive_c/users/$(id -un)/Desktop" "$hostile/alias/desktop"
ln -s "$WINEPREFIX/drive_c/users/$(id -un)/Documents" "$hostile/alias/documents"
ln -s "$hostile/outside" "$hostile/alias/outside"
# The loopback share of C:, as Windows has it: \\localhost\c$ reaches drive C.
for host in localhost 127.0.0.1; do
  mkdir -p "$WINEPREFIX/dosdevices/unc/$host"
  ln -sfn ../../c: "$WINEPREFIX/dosdevices/unc/$host/c\$"
done
mkdir -p "$hostile/tree" "$hostile/swap/decoy"
ln -s ../outside/secret.txt "$hostile/tree/flink"
ln -s ../outside/ro-secret.txt "$hostile/tree/rolink"
ln -s ../../outside "$hostile/swap/decoy/a"
# A browser profile whose places.sqlite is a link to a database elsewhere.
dblink="$MORVANE_BUILD/fixtures/db-link"
rm -rf "$dblink"
mkdir -p "$dblink/profile" "$dblink/elsewhere"
ln -s ../elsewhere/places.sqlite "$dblink/profile/places.sqlite"
# Rule fixtures: a folder link met while a rule's wildcard expands, and one
# inside a folder a rule sweeps.
rules="$MORVANE_BUILD/fixtures/rules"
rm -rf "$rules"
mkdir -p "$rules/tree/real/cache" "$rules/outside/cache"
echo own >"$rules/tree/real/cache/own.tmp"
echo secret >"$rules/outside/cache/secret.tmp"
ln -s ../outside "$rules/tree/link"
ln -s ../../../outside/cache "$rules/tree/real/cache/inlink"
# A folder an exclusion names through a folder link ("alias" reaches "real").
kept="$MORVANE_BUILD/fixtures/rule-kept"
rm -rf "$kept"
mkdir -p "$kept/real/sub"
ln -s real "$kept/alias"
# A rule's folder whose middle segment turns into a link between the
# expansion of its wildcard and the walk: "decoy" takes the place of one of
# the two expanded folders while the other is walked. The folder the link
# leads to is empty, so that a REMOVESELF walked through the link would
# remove it.
race="$MORVANE_BUILD/fixtures/rule-race"
rm -rf "$race"
mkdir -p "$race/base/one/a/x" "$race/base/two/a/x" "$race/decoy" "$race/outside/x"
echo own >"$race/base/one/a/x/own.tmp"
echo own >"$race/base/two/a/x/own.tmp"
echo secret >"$race/outside/secret.tmp"
ln -s ../outside "$race/decoy/a"
# A folder link to the user's store of keys (made here, as Windows would have it).
store="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Protect"
mkdir -p "$store/S-1-5-21-fixture"
echo "master key" >"$store/S-1-5-21-fixture/key"
ln -sfn "$store" "$hostile/alias/protect"
# A drive letter that maps to a folder, not to a volume (as subst, a mapped
# home drive or dosdevices make one): M: is drive-folder/docs of the build
# folder, which the drive-letter tests protect as a user data folder.
letter="$MORVANE_BUILD/fixtures/drive-folder"
rm -rf "$letter"
mkdir -p "$letter/docs/below"
ln -sfn "$letter/docs" "$WINEPREFIX/dosdevices/m:"
