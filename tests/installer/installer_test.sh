#!/usr/bin/env bash
# installer_test.sh: runs the setup exe of `make dist` silently in a Wine
# prefix of its own (build/wine-installer) and checks what it leaves:
#   install /S /AUTOSTART: the files, the Start-menu shortcut, the Uninstall
#     entry and the machine's Run value (for every user, none per user); the
#     installed exe runs /once;
#   install /S /START: the installer never starts Morvane itself (it would run
#     with the installer's elevated rights): the shell starts it;
#   a second install with another version keeps a changed setting;
#   the event source "Morvane" of the Application log is registered with the
#     installed exe as its message file, and the uninstaller removes it;
#   uninstall /S leaves nothing of Morvane but its settings;
#   uninstall /S /REMOVESETTINGS removes those too, and nothing else changed.
# The registry is read from the prefix's .reg files once its wineserver has
# ended, so each step runs under a server that ends with its last process.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/../../tools" && pwd)
export PREFIX_NAME=installer
source "$tools/wine-env.sh"
# No desktop entries in the build folder's home for the Start-menu shortcut.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
"$tools/make-prefix.sh" installer >/dev/null

version=$(sed -n 's/^#define MORVANE_VERSION_TEXT "\(.*\)"$/\1/p' "$MORVANE_BUILD/generated/morvane_version.h")
setup="$MORVANE_BUILD/dist/Morvane-$version-setup.exe"
[ -f "$setup" ] || { echo "FAIL: $setup missing: run make dist" >&2; exit 1; }
# The "newer" installer: the same files under a later version.
next_version="${version%.*}.$(( ${version##*.} + 1 ))"
next_dir="$MORVANE_BUILD/dist/installer-test"
"$tools/make-dist.sh" --version "$next_version" --out "$next_dir" >/dev/null
next_setup="$next_dir/Morvane-$next_version-setup.exe"

drive_c="$WINEPREFIX/drive_c"
install_dir="$drive_c/Program Files/Morvane"
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Morvane.lnk"
system_reg="$WINEPREFIX/system.reg"
user_reg="$WINEPREFIX/user.reg"
uninst_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvane'
run_key='Software\Microsoft\Windows\CurrentVersion\Run'
general_key='Software\Calderix\Morvane\General Settings'
event_key='System\CurrentControlSet\Services\EventLog\Application\Morvane'

failures=0
check() {  # check "what" command...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}

# A step: a fresh server that ends with the step's last process, so that the
# registry files are written when `wineserver -w` returns.
step() {
  "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
  "$WINESERVER_BIN" -w
  "$WINESERVER_BIN" -p0
  # What a step did is checked afterwards, by what it left.
  (cd "$MORVANE_BUILD" && "$@") </dev/null >/dev/null 2>&1 || true
  # A process still running here (a Morvane nobody stopped) fails the step.
  if ! timeout 120 "$WINESERVER_BIN" -w; then
    echo "FAIL a Wine process was still running after the step"
    failures=$((failures + 1))
    "$WINESERVER_BIN" -k >/dev/null 2>&1 || true
  fi
}
wine_run() { "$WINE_BIN" "$@"; }

# --- reading the .reg files ------------------------------------------------
# The lines of one key's section (key names are stored with doubled backslashes).
reg_section() {
  local esc=${2//\\/\\\\}
  # Through the environment: awk -v would undo the doubled backslashes.
  K="[${esc,,}]" awk 'index(tolower($0), ENVIRON["K"]) == 1 { on = 1; next } /^\[/ { on = 0 } on' "$1"
}
reg_has_key() { grep -qiF "[${2//\\/\\\\}]" "$1"; }
reg_lacks_key() { ! reg_has_key "$@"; }
reg_value() { reg_section "$1" "$2" | sed -n "s/^\"$3\"=//p"; }
# Every key whose name holds "morvane", one per line, lower case.
morvane_keys() { grep -i '^\[.*morvane' "$1" | sed 's/\] [0-9].*$/]/' | tr 'A-Z' 'a-z' || true; }
key_names() { grep '^\[' "$1" | sed 's/\] [0-9].*$/]/' | sort; }
files_named_morvane() { find "$drive_c" -iname '*morvane*' 2>/dev/null || true; }

# --- a settled prefix, and its registry before anything is installed ----------
cleanup_previous_run() {
  step wine_run cmd /c "rmdir /s /q \"C:\\Program Files\\Morvane\" & del \"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Morvane.lnk\" & reg delete HKLM\\$uninst_key /f & reg delete HKCU\\Software\\Calderix /f & reg delete HKLM\\Software\\Calderix /f & reg delete HKCU\\$run_key /v Morvane.exe /f & reg delete HKLM\\$run_key /v Morvane.exe /f"
}
cleanup_previous_run

# --- install ----------------------------------------------------------------
step wine_run "$setup" /S /AUTOSTART
check "the program is installed" test -f "$install_dir/Morvane.exe"
check "the uninstaller is installed" test -f "$install_dir/uninstall.exe"
check "the policy template is installed" test -f "$install_dir/policies/en-US/morvane.adml"
check "no debug information is shipped" test ! -e "$install_dir/Morvane.exe.debug"
check "the Start-menu shortcut exists" test -f "$shortcut"
check "the Uninstall entry exists" reg_has_key "$system_reg" "$uninst_key"
for name in DisplayName DisplayVersion Publisher DisplayIcon UninstallString QuietUninstallString EstimatedSize \
            NoModify NoRepair; do
  check "Uninstall has $name" test -n "$(reg_value "$system_reg" "$uninst_key" "$name")"
done
check "DisplayVersion is $version" test "$(reg_value "$system_reg" "$uninst_key" DisplayVersion)" = "\"$version\""
check "the quiet uninstall is /S" grep -q '/S"$' <<<"$(reg_value "$system_reg" "$uninst_key" QuietUninstallString)"
check "/AUTOSTART set the machine's Run value" grep -qi 'Program Files\\\\Morvane\\\\Morvane.exe' \
  <<<"$(reg_value "$system_reg" "$run_key" Morvane.exe)"
check "/AUTOSTART wrote no per-user Run value" test -z "$(reg_value "$user_reg" "$run_key" Morvane.exe)"
check "the event source is registered" reg_has_key "$system_reg" "$event_key"
# A REG_EXPAND_SZ value: str(2):"..." in the .reg file, backslashes doubled.
event_file=$(reg_value "$system_reg" "$event_key" EventMessageFile | sed -e 's/^str(2):"//' -e 's/"$//' -e 's/\\\\/\\/g')
check "its message file is the installed exe ($event_file)" \
  test "${event_file,,}" = 'c:\program files\morvane\morvane.exe'
check "it supports error, warning and information events" \
  test "$(reg_value "$system_reg" "$event_key" TypesSupported)" = 'dword:00000007'

# --- /START: the shell starts the program, never the elevated installer ----------
# Wine's process trace names the process that makes each new one (its pid
# leads the line). The setup is run again with /S to stop what /START began.
start_trace="$WINEPREFIX/start-trace.txt"
step bash -c '
  WINEDEBUG=+pid,+process "$0" "$1" /S /START 2>"$2"
  for i in $(seq 60); do pgrep -f "Program Files.Morvane.Morvane.exe" >/dev/null && break; sleep 0.5; done
  sleep 3
  "$0" "$1" /S' "$WINE_BIN" "$setup" "$start_trace"
starts() { grep -a 'trace:process:CreateProcessInternalW' "$start_trace" || true; }
# The trace spells a command line with its quotes and backslashes escaped.
morvane_creators=$(starts | grep -aF 'cmdline L"\"C:\\Program Files\\Morvane\\Morvane.exe\""' | cut -d: -f1 | sort -u || true)
explorer_creators=$(starts | grep -aiF 'explorer.exe' | grep -aF 'Morvane.exe' | cut -d: -f1 | sort -u || true)
check "/START asked the shell to start Morvane" test -n "$explorer_creators"
check "Morvane was started (by the shell)" test -n "$morvane_creators"
check "the installer did not start Morvane itself" \
  bash -c '[ -n "$0" ] && ! grep -qx "$0" <<<"$1"' "$(head -1 <<<"$explorer_creators")" "$morvane_creators"

# --- the installed program runs, and a setting is changed ------------------------
once_rc=0
step bash -c '"$0" "$1" /once; echo $? >"$2"; "$0" reg add "HKCU\\$3" /v TmSn /t REG_BINARY /d 100e0000 /f
  "$0" reg add "HKCU\\$3" /v StTm /t REG_BINARY /d 08000000 /f' \
  "$WINE_BIN" "C:\\Program Files\\Morvane\\Morvane.exe" "$WINEPREFIX/once-rc" "$general_key"
once_rc=$(cat "$WINEPREFIX/once-rc" 2>/dev/null || echo missing)
# 0: all swept; 1: items left in place (Wine keeps some cache files open).
check "the installed exe ran /once (exit $once_rc)" test "$once_rc" = 0 -o "$once_rc" = 1
check "its first run stored the settings" reg_has_key "$user_reg" "$general_key"
check "the setting was changed" test "$(reg_value "$user_reg" "$general_key" TmSn)" = 'hex:10,0e,00,00'

# --- an upgrade stops the running program and keeps the settings ------------------
# The resident program runs (without its startup window) when the upgrade starts;
# the installer must ask it to exit, or the step never ends.
# Its report shows the exit lines when the installer's request reaches it.
resident_out="$WINEPREFIX/resident-report.txt"
# Starts the installed program resident, then (once its window is up) runs
# the given Windows program with its arguments.
with_resident() {
  rm -f "$resident_out"
  step bash -c '
    w=$0 key=$1 out=$2; shift 2
    "$w" reg add "HKCU\\$key" /v NotShowLogo /t REG_BINARY /d 01000000 /f
    "$w" reg add "HKCU\\$key" /v Targets /t REG_BINARY /d 07000000 /f  # no hidden log window to take the lines
    "$w" "C:\\Program Files\\Morvane\\Morvane.exe" /report >"$out" &
    for i in $(seq 120); do pgrep -f "Program Files.Morvane.Morvane.exe" >/dev/null && break; sleep 0.5; done
    sleep 3  # its window comes a moment after the process
    "$w" "$@"' "$WINE_BIN" "$general_key" "$resident_out" "$@"
}
with_resident "$next_setup" /S
check "the running Morvane was asked to exit through its window" grep -q "End exiting Processes" "$resident_out"
check "the upgrade is registered as $next_version" \
  test "$(reg_value "$system_reg" "$uninst_key" DisplayVersion)" = "\"$next_version\""
check "the upgrade kept the changed setting" test "$(reg_value "$user_reg" "$general_key" TmSn)" = 'hex:10,0e,00,00'
check "the upgrade kept \"Browser closes\"" test "$(reg_value "$user_reg" "$general_key" StTm)" = 'hex:08,00,00,00'
check "the program is still there" test -f "$install_dir/Morvane.exe"

# --- uninstall ends the running program and keeps the settings ------------------------
with_resident "$install_dir/uninstall.exe" /S
check "the uninstaller asked the running Morvane to exit" grep -q "End exiting Processes" "$resident_out"
check "the install folder is gone" test ! -e "$install_dir"
check "the shortcut is gone" test ! -e "$shortcut"
check "the Uninstall entry is gone" reg_lacks_key "$system_reg" "$uninst_key"
check "the event source is gone" reg_lacks_key "$system_reg" "$event_key"
check "the machine's Run value is gone" test -z "$(reg_value "$system_reg" "$run_key" Morvane.exe)"
check "the user's Run value is gone" test -z "$(reg_value "$user_reg" "$run_key" Morvane.exe)"
check "no file of Morvane is left" test -z "$(files_named_morvane)"
left_keys=$(morvane_keys "$system_reg"; morvane_keys "$user_reg")
check "only the settings keys are left" test -z "$(grep -v '^\[software\\\\calderix\\\\morvane' <<<"$left_keys" || true)"
check "the settings are kept" test "$(reg_value "$user_reg" "$general_key" TmSn)" = 'hex:10,0e,00,00'

# --- uninstall /REMOVESETTINGS -------------------------------------------------------
# The keys now, less the settings: what must be there after the next round.
# (Taken here, not before the first install: the /once run swept the prefix.)
key_names "$system_reg" | grep -vi calderix >"$WINEPREFIX/keys-before-system" || true
key_names "$user_reg" | grep -vi calderix >"$WINEPREFIX/keys-before-user" || true
step bash -c '"$0" "$1" /S && "$0" "$2" /S /REMOVESETTINGS' \
  "$WINE_BIN" "$setup" "C:\\Program Files\\Morvane\\uninstall.exe"
check "the settings are gone" test -z "$(morvane_keys "$system_reg"; morvane_keys "$user_reg")"
check "the install folder is gone again" test ! -e "$install_dir"
check "no key was added or removed (machine)" diff <(key_names "$system_reg") "$WINEPREFIX/keys-before-system"
check "no key was added or removed (user)" diff <(key_names "$user_reg") "$WINEPREFIX/keys-before-user"

"$WINESERVER_BIN" -k >/dev/null 2>&1 || true
if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all installer checks passed"
