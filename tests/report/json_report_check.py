#!/usr/bin/env python3
"""Checks what json_report_test.sh made Morvane print.

usage: json_report_check.py <folder> <text exit code> <json exit code> <preview exit code>

The JSON report must be one object per line, each read by Python's own json
module as it stands; its totals must be those of the text report of the same
traces; every planted name must come back exactly; and the event log's debug
channel must show the sweep's events with their insertion strings.
"""
import json
import os
import re
import sys

failures = []


def check(what, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + what + ("" if ok or not detail else ": " + detail))
    if not ok:
        failures.append(what)


def read_lines(path):
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("utf-8")  # strict: a byte that is not UTF-8 fails here
    return [l for l in text.split("\n") if l.strip()]


def parse_report(path, what):
    objects, bad = [], []
    for n, line in enumerate(read_lines(path), 1):
        line = line.rstrip("\r")
        try:
            obj = json.loads(line)
        except ValueError as e:
            bad.append("line %d: %s: %r" % (n, e, line[:200]))
            continue
        if not isinstance(obj, dict) or "type" not in obj:
            bad.append("line %d is not an object with a type" % n)
        objects.append(obj)
    check(what + ": every line is a JSON object", not bad and bool(objects), "; ".join(bad[:3]))
    return objects


def main():
    folder, text_rc, json_rc, preview_rc = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])

    # --- the text report of the same traces --------------------------------
    text = open(os.path.join(folder, "text.txt"), encoding="utf-8", errors="replace").read()
    m = re.search(r"Total: (\d+) item\(s\) swept, ([0-9.]+) KB restored\.", text)
    check("the text report has its totals line", m is not None)
    if m is None:
        return
    text_items, text_kb = int(m.group(1)), float(m.group(2))
    m = re.search(r"Not removed: (\d+) item\(s\)", text)
    text_left = int(m.group(1)) if m else -1

    # --- the JSON report ------------------------------------------------------
    objects = parse_report(os.path.join(folder, "report.jsonl"), "/report:json")
    if not objects:
        return
    totals = objects[-1]
    check("the last line is the totals", totals.get("type") == "totals", str(totals)[:200])
    check("only one totals line", sum(1 for o in objects if o.get("type") == "totals") == 1)
    check("the format has its version", totals.get("format") == 1)
    check("the program's version is named", re.fullmatch(r"\d+\.\d+\.\d+", str(totals.get("version", ""))) is not None)
    check("its items equal \"Total: %d item(s)\"" % text_items, totals.get("items") == text_items,
          "JSON says %s" % totals.get("items"))
    check("its KB equal the text report's %.3f" % text_kb, abs(float(totals.get("kb", -1)) - text_kb) < 0.0015,
          "JSON says %s" % totals.get("kb"))
    check("its not-removed count equals the text report's %d" % text_left, totals.get("not_removed") == text_left,
          "JSON says %s" % totals.get("not_removed"))
    check("the exit code is the process's (%d) and the text run's (%d)" % (json_rc, text_rc),
          totals.get("exit_code") == json_rc == text_rc)
    check("a duration is given", isinstance(totals.get("duration_seconds"), (int, float)))

    items = [o for o in objects if o.get("type") == "item"]
    fields = {"category", "entry", "item", "kb", "outcome", "reason"}
    check("every item has category, entry, item, KB, outcome and reason",
          items and all(fields <= set(o) for o in items))
    outcomes = {"removed", "scheduled", "guarded", "refused", "held", "failed", "not scheduled"}
    check("every outcome is one of the documented ones",
          all(o["outcome"] in outcomes for o in items + [d for d in objects if d.get("type") == "database"]))
    left = [o for o in items if o["outcome"] not in ("removed", "scheduled", "guarded")]
    left += [o for o in objects if o.get("type") == "database" and o["outcome"] not in ("removed", "scheduled")]
    check("the items left add up to the not-removed count", len(left) == totals.get("not_removed"),
          "%d lines against %s" % (len(left), totals.get("not_removed")))
    check("every item left says why", all(o.get("reason") for o in left))
    removed = sum(1 for o in items if o["outcome"] in ("removed", "scheduled"))
    check("one item line for each numbered item, database rows included", removed == totals.get("items"),
          "%d removed or scheduled item lines against %s" % (removed, totals.get("items")))

    # Names round-trip: in any script, and with control characters.
    all_items = [o["item"] for o in items]
    with open(os.path.join(folder, "planted-names.txt"), encoding="utf-8") as f:
        planted = [n.replace("\\t", "\t") for n in f.read().split("\n") if n]
    for name in planted:
        check("the name %r comes back exactly" % name, any(i.endswith("\\" + name) for i in all_items))
    control = 'ctl\x01bell\x07esc\x1b[0m"quote"\\back'
    check("a registry value named with control characters comes back exactly",
          any(i.endswith("\\RunMRU\\" + control) for i in all_items),
          "; ".join(repr(i) for i in all_items if "RunMRU" in i))
    check("a registry value named in Cyrillic and Chinese comes back exactly",
          any(i.endswith("\\RunMRU\\запуск 运行") for i in all_items))

    # --- the preview ---------------------------------------------------------
    preview = parse_report(os.path.join(folder, "preview.jsonl"), "/report:json /preview")
    if preview:
        p = preview[-1]
        check("the preview's totals say so", p.get("type") == "totals" and p.get("preview") is True)
        stay = [o for o in preview if o.get("type") == "item" and o["outcome"] not in ("removed", "scheduled", "guarded")]
        stay += [o for o in preview if o.get("type") == "database" and o["outcome"] not in ("removed", "scheduled")]
        check("a preview counts the items that would stay as its lines do, and exits with 0",
              p.get("not_removed") == len(stay) and preview_rc == 0, "exit %d, %d lines, %s" % (preview_rc, len(stay), p))
        # The preview ran with the event log's channel on: not one event.
        preview_events = open(os.path.join(folder, "preview.err"), encoding="utf-8", errors="replace").read()
        check("a preview writes no events", "ReportEventW" not in preview_events,
              "; ".join(l for l in preview_events.splitlines() if "ReportEventW" in l)[:300])
        check("a preview counts the items it would sweep", p.get("items", 0) > 0)

    # --- the event log, as Wine's debug channel printed it -----------------
    events = open(os.path.join(folder, "events.txt"), encoding="utf-8", errors="replace").read()
    ids = re.findall(r"ReportEventW \([^,]+,0x([0-9a-f]{4}),0x[0-9a-f]{4},0x([0-9a-f]{8})", events)
    written = [(int(t, 16), int(i, 16)) for t, i in ids]
    check("event 1000 (information) was written", (4, 1000) in written, str(written))
    strings = re.findall(r"(trace|warn|err):eventlog:ReportEventW (L\".*\")", events)
    texts = [s for _, s in strings]
    check("1000 names its trigger \"/once\"", 'L"/once"' in texts)
    check("1000 names the items swept (%d)" % text_items, 'L"%d"' % text_items in texts)
    if text_left > 0:
        check("1001 (warning) was written for the items left", (2, 1001) in written, str(written))
        check("1001 counts them", any(k == "warn" and s == 'L"%d"' % text_left for k, s in strings))
    # A file left in a site-named storage folder is in the report, and its site nowhere in the events.
    check("the file left in a site's storage folder is reported", any("bank.example" in o["item"] for o in left))
    check("no storage site is written to the event log", "bank.example" not in events)
    # Nothing in the events names a visited site from the demo's history.
    check("no visited site is written to the event log", "example" not in events.lower() or
          all("example" not in s.lower() for s in texts))
    for kind, s in strings[:12]:
        print("     %s: %s" % (kind, s[:160]))


if __name__ == "__main__":
    main()
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)
    print("all report checks passed")
