#!/usr/bin/env bash
# real_browsers_test.sh: Morvane against the browsers themselves. Debian's
# chromium and firefox-esr make their own profiles headless (real_browsers.py
# serves the pages on 127.0.0.1); the profiles are copied to their Windows
# places in a Wine prefix of their own (build/wine-browsers), swept with
# "Morvane.exe /once /report", copied back, checked, and opened again by the
# same browsers, which must send the friendly host its old cookie and no
# other host any, keep Firefox's bookmark with its icon, and set no database
# aside. Before the sweep, every file and every table of the profiles is
# looked up in the census (SeedTraces.exe census): one the census does not
# name fails the test, so a new browser version announces its new stores.
# A copy of the Firefox profile made to look like a newer Firefox's
# (version raised, a table of its own that refers to a visited page) is
# cleaned, and the page that table refers to stays. Prints the schema
# versions the browsers wrote and how long it took.
set -euo pipefail
started=$(date +%s)
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/../../tools" && pwd)
export PREFIX_NAME=browsers
source "$tools/wine-env.sh"
for browser in chromium firefox-esr /usr/bin/python3; do
  command -v "$browser" >/dev/null || { echo "FAIL $browser is not installed: run tools/setup.sh" >&2; exit 1; }
done
echo "$(chromium --version 2>/dev/null); $(firefox-esr --version 2>/dev/null)"
"$tools/make-prefix.sh" browsers >/dev/null

work="$MORVANE_BUILD/real-browsers"
rm -rf "$work"
mkdir -p "$work"
# The browsers run outside Wine, with the real home of the build folder.
/usr/bin/python3 "$here/real_browsers.py" make "$work"
/usr/bin/python3 "$here/real_browsers.py" make-newer "$work"

users="$WINEPREFIX/drive_c/users"
user=$(ls "$users" | grep -vx Public | head -n 1)
local_data="$users/$user/AppData/Local"
roaming="$users/$user/AppData/Roaming"
chrome="$local_data/Google/Chrome/User Data"
firefox="$roaming/Mozilla/Firefox/Profiles/real.default-esr"
newer="$roaming/Mozilla/Firefox/Profiles/newer.default-esr"
rm -rf "$local_data/Google" "$roaming/Mozilla"
mkdir -p "$(dirname "$chrome")" "$(dirname "$firefox")"
# Windows places: Chromium keeps Cookies in Default\Network there; Firefox's
# lock files are Linux-only.
cp -a "$work/chromium" "$chrome"
rm -f "$chrome"/Singleton*
mkdir -p "$chrome/Default/Network"
for f in Cookies Cookies-journal; do
  if [ -e "$chrome/Default/$f" ]; then mv "$chrome/Default/$f" "$chrome/Default/Network/$f"; fi
done
cp -a "$work/firefox" "$firefox"
cp -a "$work/firefox-newer" "$newer"
rm -f "$firefox/lock" "$firefox/.parentlock" "$newer/lock" "$newer/.parentlock"

# The census of the profiles as the browsers left them (the copies in the
# prefix are swept below); the seeder runs twice in a row, on one start of the
# prefix's server.
failures=0
"$tools/wine-run.sh" --prefix browsers "$MORVANE_BUILD/SeedTraces.exe" census >"$work/census.tsv" 2>/dev/null || true
"$tools/wine-run.sh" --prefix browsers "$MORVANE_BUILD/SeedTraces.exe" friendly-hosts friend.test
/usr/bin/python3 "$here/real_browsers.py" census "$work" "$work/census.tsv" || failures=$((failures + $?))
code=0
"$tools/wine-run.sh" --prefix browsers "$MORVANE_BUILD/Morvane.exe" /once /report >"$work/sweep.log" 2>&1 || code=$?
# The prefix's server ends by itself once its last process has.
timeout 60 "$WINESERVER_BIN" -w || "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
grep -E "Refused|Cannot clean|running|Not removed" "$work/sweep.log" || true
if grep -qE "Refused|Cannot clean" "$work/sweep.log"; then
  echo "FAIL the sweep refused a database the browsers wrote"
  failures=$((failures + 1))
fi
# Wine holds some of its own cache files open: exit code 1 is that, and the
# line above shows it. Anything else is a failure.
[ "$code" -le 1 ] || { echo "FAIL Morvane.exe /once exited with $code"; failures=$((failures + 1)); }

# Back to the Linux places, as swept.
rm -rf "$work/chromium" "$work/firefox" "$work/firefox-newer"
cp -a "$chrome" "$work/chromium"
for f in Cookies Cookies-journal; do
  if [ -e "$work/chromium/Default/Network/$f" ]; then
    mv "$work/chromium/Default/Network/$f" "$work/chromium/Default/$f"
  fi
done
cp -a "$firefox" "$work/firefox"
cp -a "$newer" "$work/firefox-newer"

/usr/bin/python3 "$here/real_browsers.py" check-swept "$work" || failures=$((failures + $?))
/usr/bin/python3 "$here/real_browsers.py" revisit "$work" || failures=$((failures + $?))
echo "Real-browser test took $(( $(date +%s) - started )) s."
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed; the sweep's lines are in $work/sweep.log"; exit 1; }
echo "All real-browser checks passed."
