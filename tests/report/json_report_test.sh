#!/usr/bin/env bash
# json_report_test.sh: the machine-readable report and the event log, end to
# end, on the demo traces in a prefix of its own (build/wine-report):
#   1. traces planted (the demo's, plus file names in several scripts and a
#      registry value whose name holds control characters), then
#      "/once /report": the text report, its totals line and exit code;
#   2. the same traces again, then "/once /report:json" with the event log's
#      debug channel on (Wine prints each event's insertion strings there);
#   3. "/once /report:json /preview" on fresh traces.
# json_report_check.py reads what the runs printed with Python's json and
# checks it against the text report and the planted names.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/../../tools" && pwd)
export PREFIX_NAME=report
source "$tools/wine-env.sh"
# A home of its own: Wine's recycle bin is its trash, which each run must
# start empty (the preview leaves its planted item there).
export HOME="$MORVANE_BUILD/home-report"
mkdir -p "$HOME"
"$tools/make-prefix.sh" report >/dev/null
cd "$MORVANE_BUILD"  # every Wine process starts inside the mapped build folder
out="$MORVANE_BUILD/report-test"
rm -rf "$out"
mkdir -p "$out"
general_key='HKCU\Software\Calderix\Morvane\General Settings'
run_mru='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\RunMRU'

# Names a sweep of the temporary folder meets, in several scripts, and a
# value name with control characters (the registry takes any character).
names_file="$out/planted-names.txt"
plant() {
  rm -rf "$HOME/.local/share/Trash"
  "$WINE_BIN" "$MORVANE_BUILD/SeedTraces.exe" >/dev/null 2>&1 ||
    echo "(some traces could not be planted)" >&2
  local temp
  # %TEMP%: C:\users\<user>\Temp under Wine 8, AppData\Local\Temp on Windows and later Wines.
  temp=""
  for t in "$WINEPREFIX"/drive_c/users/*/Temp "$WINEPREFIX"/drive_c/users/*/AppData/Local/Temp; do
    case "$t" in */Public/*) continue ;; esac
    [ -d "$t" ] && { temp=$t; break; }
  done
  [ -n "$temp" ] || { echo "FAIL: no temporary folder in the prefix" >&2; exit 1; }
  python3 - "$temp" "$names_file" <<'EOF'
import os, sys
temp, names_file = sys.argv[1], sys.argv[2]
names = ["报告 2026.tmp", "Привет мир.tmp", "مرحبا.tmp", "שלום.tmp", "ελληνικά.tmp", "日本語テキスト.tmp",
         "한국어.tmp", "emoji 😀🎉.tmp", "e\u0301tude decomposed.tmp", "tab\tin name.tmp"]
kept = []
for n in names:
    try:
        with open(os.path.join(temp, n), "w", encoding="utf-8") as f:
            f.write("trace " * 100)
        kept.append(n)
    except OSError:
        pass
with open(names_file, "w", encoding="utf-8") as f:
    f.write("\n".join(kept).replace("\t", "\\t"))
EOF
  # Both halves of a control-character name: what Windows keeps as the name is what must come back.
  "$WINE_BIN" reg add "$run_mru" /v $'ctl\x01bell\x07esc\x1b[0m"quote"\\back' /d 'cmd' /f >/dev/null 2>&1
  "$WINE_BIN" reg add "$run_mru" /v 'запуск 运行' /d 'cmd' /f >/dev/null 2>&1
}

run_morvane() {  # run_morvane <stdout file> <stderr file> args...
  local stdout=$1 stderr=$2; shift 2
  local rc=0
  "$WINE_BIN" "$MORVANE_BUILD/Morvane.exe" /once "$@" >"$stdout" 2>"$stderr" || rc=$?
  echo "$rc"
}

# A browser's storage, as a rule entry filed under Applications sweeps it: its folders are named after sites,
# and a file there that stays (a tab in its name: the system refuses it) must not name the site in 1001.
roaming=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v Public | head -1)
mkdir -p "$roaming/Morvane/Rules"
printf '[Report Test Web Storage *]\r\nLangSecRef=3024\r\nFileKey1=%%AppData%%\\ReportTest\\Profiles\\*\\storage\\default\\http*|*|REMOVESELF\r\n' \
  >"$roaming/Morvane/Rules/report-storage.ini"
"$WINE_BIN" reg add 'HKCU\Software\Calderix\Morvane\Rules' /v 'Report Test Web Storage *' /t REG_DWORD /d 1 /f >/dev/null 2>&1
plant_storage() {
  local site="$roaming/ReportTest/Profiles/p1.default/storage/default/https+++bank.example/ls"
  mkdir -p "$site"
  printf x >"$site/held"$'\t'".sqlite"
  printf x >"$site/data.sqlite"
}

# Every event, routine ones included, for the check to see them all.
"$WINE_BIN" reg add "$general_key" /v EventLog /t REG_BINARY /d 02000000 /f >/dev/null 2>&1

plant
plant_storage
text_rc=$(run_morvane "$out/text.txt" "$out/text.err" /report)
plant
plant_storage
json_rc=$(WINEDEBUG='-all,+eventlog,fixme+advapi' run_morvane "$out/report.jsonl" "$out/events.txt" /report:json)
plant
# A rule file with a refused key: a sweep writes 1002 for it when the rules are read; a preview writes nothing.
rules_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v Public | head -1)/Morvane/Rules
mkdir -p "$rules_dir"
printf '[Report Test Refusal *]\r\nLangSecRef=3024\r\nRegKey1=HKCU\\x\r\n' >"$rules_dir/report-test.ini"
rules_key='HKCU\Software\Calderix\Morvane\Rules'
"$WINE_BIN" reg add "$rules_key" /v 'Report Test Refusal *' /t REG_DWORD /d 1 /f >/dev/null 2>&1
preview_rc=$(WINEDEBUG='-all,+eventlog' run_morvane "$out/preview.jsonl" "$out/preview.err" /report:json /preview)
rm -f "$rules_dir/report-test.ini"
"$WINE_BIN" reg delete "$rules_key" /v 'Report Test Refusal *' /f >/dev/null 2>&1 || true
rm -f "$roaming/Morvane/Rules/report-storage.ini"
"$WINE_BIN" reg delete 'HKCU\Software\Calderix\Morvane\Rules' /v 'Report Test Web Storage *' /f >/dev/null 2>&1 || true
"$WINESERVER_BIN" -k >/dev/null 2>&1 || true

python3 "$here/json_report_check.py" "$out" "$text_rc" "$json_rc" "$preview_rc"
