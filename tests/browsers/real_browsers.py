#!/usr/bin/env python3
"""Real Chromium and Firefox profiles for the conformance test.

  real_browsers.py make OUT         each browser makes its own profile in
                                    OUT/chromium and OUT/firefox: visits to several
                                    hosts that set cookies (one friendly),
                                    bookmarks, icons; prints the schema versions
  real_browsers.py make-newer OUT   copies the Firefox profile to OUT/firefox-newer as
                                    a newer Firefox would leave it: places.sqlite's
                                    version raised by 5, and a table of its own
                                    that refers to a visited page
  real_browsers.py check-swept OUT  checks what the sweep left in the profiles
  real_browsers.py census OUT TSV   lists every file of the profiles and every
                                    table of their databases, and fails on any the
                                    census (TSV, from "SeedTraces.exe census") does
                                    not name; checks that the README's table is the
                                    census's
  real_browsers.py readme-table TSV prints the README's table of browser files
  real_browsers.py revisit OUT      starts the browsers again on the swept
                                    profiles and checks which cookies each host
                                    gets back, and what the browsers made of
                                    their databases
Each check prints "ok ..." or "FAIL ..."; the exit code is the number of FAILs.

Pages come from a server on 127.0.0.1; host names are mapped to it in each
browser, so nothing leaves the machine. Browsers are closed cleanly: Chromium
through its remote-debugging pipe, Firefox through Marionette.
"""
import http.server
import json
import os
import shutil
import socket
import subprocess
import sys
import threading
import time

HOSTS = ["friend.test", "tracker.test", "news.test", "shop.test"]
BOOKMARKED = "news.test"  # the page both browsers keep as a bookmark
# A 16x16 PNG: every host serves it as its /favicon.ico and as its page icon.
ICON = bytes.fromhex(
    "89504e470d0a1a0a0000000d49484452000000100000001008020000009091683600"
    "00001549444154789c63fccf401a608451a38a46158d2a1a00004b3f1f0f6d3c7e51"
    "0000000049454e44ae426082")


# What a site stores in the browser: local storage, a database, a cache.
STORE_SCRIPT = """<script>
localStorage.setItem("census", "local");
sessionStorage.setItem("census", "session");
var open = indexedDB.open("census", 1);
open.onupgradeneeded = function () { open.result.createObjectStore("things"); };
open.onsuccess = function () {
  var tx = open.result.transaction("things", "readwrite");
  tx.objectStore("things").put("value", "key");
  tx.oncomplete = function () { document.title = "stored"; };
};
if (window.caches) caches.open("census").then(function (c) { return c.put("/cached", new Response("x")); });
</script>"""
# A form a user fills in and sends.
FORM_HTML = """<form id=f action=/sent method=get>
<input id=name name=name autocomplete=name><input id=email name=email type=email autocomplete=email>
<input id=city name=city autocomplete=address-level2><button id=go type=submit>Send</button></form>"""
FILL_FORM = """var f = document.getElementById("f");
document.getElementById("name").value = "Ada Census";
document.getElementById("email").value = "ada@census.test";
document.getElementById("city").value = "Lisbon";
f.requestSubmit ? f.requestSubmit(document.getElementById("go")) : f.submit();"""


class Server:
    """Serves every host: a page that sets a cookie named after its host, the
    icon, and records the Cookie header each host was sent."""

    def __init__(self, port=0):
        self.received = {}
        self.lock = threading.Lock()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                host = (self.headers.get("Host") or "").split(":")[0]
                cookie = self.headers.get("Cookie")
                # Both browsers run at once: each is told apart by its agent.
                browser = "firefox" if "Firefox/" in (self.headers.get("User-Agent") or "") else "chromium"
                if cookie:
                    with outer.lock:
                        outer.received.setdefault(browser, {}).setdefault(host, set()).update(
                            c.strip() for c in cookie.split(";"))
                if self.path.startswith("/file.bin"):
                    data = b"census download\n" * 64
                    self.send_response(200)
                    self.send_header("Content-Type", "application/octet-stream")
                    self.send_header("Content-Disposition", "attachment; filename=census.bin")
                    self.send_header("Content-Length", str(len(data)))
                    self.end_headers()
                    self.wfile.write(data)
                    return
                if self.path.startswith("/favicon") or self.path.startswith("/icon"):
                    self.send_response(200)
                    self.send_header("Content-Type", "image/png")
                    self.send_header("Content-Length", str(len(ICON)))
                    self.end_headers()
                    self.wfile.write(ICON)
                    return
                # The bookmarked site has no icon link: the browser asks for its
                # /favicon.ico, which Firefox keeps as the site's root icon.
                link = "" if host == BOOKMARKED else "<link rel=icon href=/icon.png>"
                extra = ""
                if self.path.startswith("/store"):
                    extra = STORE_SCRIPT
                elif self.path.startswith("/form"):
                    extra = FORM_HTML
                body = ("<!doctype html><html><head><title>%s</title>%s</head><body>%s%s</body></html>"
                        % (host, link, host, extra)).encode()
                self.send_response(200)
                if self.path.startswith("/set"):
                    self.send_header("Set-Cookie", "visit_%s=1; Max-Age=31536000; Path=/" % host.split(".")[0])
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def url(self, host, path="/"):
        return "http://%s:%d%s" % (host, self.port, path)

    def close(self):
        if self.httpd is not None:
            self.httpd.shutdown()
            self.httpd.server_close()
            self.httpd = None


def attempt(what, step):
    """One step of the exercise; a step a browser version refuses is said and
    passed over: the census lists what the browsers did write."""
    try:
        return step()
    except RuntimeError as error:
        print("note: %s did not happen: %s" % (what, str(error)[:200]))
        return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# --- Chromium -----------------------------------------------------------------------

class Chromium:
    """Chromium headless, driven through --remote-debugging-pipe (fd 3 in, fd 4 out)."""

    def __init__(self, user_data, port):
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()

        def fds():
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)

        args = ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                "--no-default-browser-check", "--disable-background-networking", "--disable-component-update",
                "--disable-sync", "--disable-extensions", "--password-store=basic", "--use-mock-keychain",
                "--remote-debugging-pipe", "--user-data-dir=" + user_data,
                "--host-resolver-rules=MAP *.test 127.0.0.1", "about:blank"]
        self.proc = subprocess.Popen(args, preexec_fn=fds, pass_fds=(), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, close_fds=False)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.next_id = 0
        self.buffer = b""

    def call(self, method, params=None, session=None, timeout=30):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.time() + timeout
        while time.time() < deadline:
            while b"\0" in self.buffer:
                raw, self.buffer = self.buffer.split(b"\0", 1)
                reply = json.loads(raw)
                if reply.get("id") == self.next_id:
                    if "error" in reply:
                        raise RuntimeError("%s: %s" % (method, reply["error"]))
                    return reply.get("result", {})
            chunk = os.read(self.from_browser, 65536)
            if not chunk:
                raise RuntimeError("chromium closed its pipe")
            self.buffer += chunk
        raise RuntimeError("no answer to " + method)

    def visit(self, urls):
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for url in urls:
            self.call("Page.navigate", {"url": url}, session)
            time.sleep(0.5)
        return target

    def evaluate(self, session, expression):
        return self.call("Runtime.evaluate", {"expression": expression, "userGesture": True,
                                              "awaitPromise": True}, session)

    def exercise(self, server, downloads):
        """What people do besides visiting: a site's storage, a form, a
        download, a permission answered, the new-tab page with its
        shortcuts shown and one clicked."""
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        self.call("Page.enable", {}, session)
        self.call("Page.navigate", {"url": server.url("shop.test", "/store")}, session)
        time.sleep(1.0)
        self.call("Page.navigate", {"url": server.url("shop.test", "/form")}, session)
        time.sleep(0.5)
        self.evaluate(session, FILL_FORM)
        time.sleep(0.5)
        self.call("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
        attempt("Chromium's download", lambda: self.evaluate(
            session, "location.href = %s; 0" % json.dumps(server.url("shop.test", "/file.bin"))))
        time.sleep(1.5)
        # A site's question answered, as the page's prompt would record it.
        attempt("Chromium's permission", lambda: self.call(
            "Browser.setPermission", {"permission": {"name": "notifications"}, "setting": "denied",
                                      "origin": server.url("shop.test", "/")[:-1]}))
        self.call("Page.navigate", {"url": "chrome://newtab/"}, session)
        time.sleep(1.0)
        self.evaluate(session, "var a = document.querySelector('a[href^=\"http\"]'); if (a) a.click(); 0")
        time.sleep(0.5)

    def close(self):
        try:
            self.call("Browser.close", timeout=10)
        except Exception:
            pass
        try:
            self.proc.wait(30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise RuntimeError("chromium did not close")


def chromium_bookmarks(server):
    url = server.url(BOOKMARKED, "/page")
    node = {"date_added": "13300000000000000", "guid": "00000000-0000-4000-a000-000000000001", "id": "4",
            "name": "News", "type": "url", "url": url}
    folder = lambda i, name, children: {"children": children, "date_added": "13300000000000000",
                                        "date_modified": "0", "guid": "00000000-0000-4000-a000-00000000000%d" % i,
                                        "id": str(i), "name": name, "type": "folder"}
    return {"roots": {"bookmark_bar": folder(1, "Bookmarks bar", [node]), "other": folder(2, "Other bookmarks", []),
                      "synced": folder(3, "Mobile bookmarks", [])}, "version": 1}


def make_chromium(out, server):
    user_data = os.path.join(out, "chromium")
    os.makedirs(os.path.join(user_data, "Default"), exist_ok=True)
    with open(os.path.join(user_data, "Default", "Bookmarks"), "w") as f:
        json.dump(chromium_bookmarks(server), f, indent=3)
    browser = Chromium(user_data, server.port)
    browser.visit([server.url(h, "/set") for h in HOSTS] + [server.url(BOOKMARKED, "/page")])
    try:
        browser.exercise(server, os.path.join(out, "downloads", "chromium"))
    except RuntimeError as error:  # the census lists what there is; say what did not happen
        print("note: Chromium's exercise stopped: %s" % error)
    time.sleep(1)
    browser.close()


def revisit_chromium(out, server):
    browser = Chromium(os.path.join(out, "chromium"), server.port)
    browser.visit([server.url(h, "/again") for h in HOSTS])
    browser.close()


# --- Firefox ------------------------------------------------------------------------

class Firefox:
    """Firefox headless, driven through Marionette."""

    def __init__(self, profile, server):
        self.port = free_port()
        prefs = {
            "marionette.port": self.port,
            "network.dns.localDomains": ",".join(HOSTS),
            "network.proxy.type": 0,
            "browser.shell.checkDefaultBrowser": False,
            "browser.startup.homepage_override.mstone": "ignore",
            "browser.aboutwelcome.enabled": False,
            "datareporting.policy.dataSubmissionEnabled": False,
            "datareporting.healthreport.uploadEnabled": False,
            "toolkit.telemetry.reportingpolicy.firstRun": False,
            "app.update.disabledForTesting": True,
            "app.normandy.enabled": False,
            "browser.safebrowsing.update.enabled": False,
            "browser.newtabpage.activity-stream.feeds.system.topstories": False,
            "extensions.update.enabled": False,
            "dom.security.https_first": False,
            "browser.places.importBookmarksHTML": not os.path.exists(os.path.join(profile, "places.sqlite")),
            "network.cookie.cookieBehavior": 0,
            "browser.sessionstore.resume_from_crash": False,
            "browser.download.dir": os.path.join(os.path.dirname(profile), "downloads", "firefox"),
            "browser.download.folderList": 2,
            "browser.download.useDownloadDir": True,
            "browser.download.always_ask_before_handling_new_types": False,
            "browser.helperApps.neverAsk.saveToDisk": "application/octet-stream",
            "browser.formfill.enable": True,
        }
        with open(os.path.join(profile, "prefs.js"), "w") as f:
            for key, value in prefs.items():
                f.write("user_pref(%s, %s);\n" % (json.dumps(key), json.dumps(value)))
        env = dict(os.environ, MOZ_HEADLESS="1", MOZ_CRASHREPORTER_DISABLE="1")
        self.proc = subprocess.Popen(["firefox-esr", "--headless", "--marionette", "-remote-allow-system-access",
                                      "--no-remote", "--profile", profile],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        deadline = time.time() + 60
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", self.port), timeout=60)
                break
            except OSError:
                if time.time() > deadline:
                    self.proc.kill()
                    raise RuntimeError("firefox opened no Marionette port")
                time.sleep(0.2)
        self.buffer = b""
        self.read()  # the greeting
        self.next_id = 0
        self.call("WebDriver:NewSession", {"capabilities": {}})

    def read(self):
        while b":" not in self.buffer:
            self.buffer += self.recv()
        length, rest = self.buffer.split(b":", 1)
        while len(rest) < int(length):
            rest += self.recv()
        self.buffer = rest[int(length):]
        return json.loads(rest[:int(length)])

    def recv(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise RuntimeError("firefox closed Marionette")
        return chunk

    def call(self, name, params=None):
        self.next_id += 1
        data = json.dumps([0, self.next_id, name, params or {}]).encode()
        self.sock.sendall(str(len(data)).encode() + b":" + data)
        while True:
            reply = self.read()
            if reply[0] == 1 and reply[1] == self.next_id:
                if reply[2]:
                    raise RuntimeError("%s: %s" % (name, reply[2]))
                return reply[3]

    def visit(self, urls):
        for url in urls:
            self.call("WebDriver:Navigate", {"url": url})
            time.sleep(0.3)

    def script(self, body, chrome=False):
        if chrome:
            self.call("Marionette:SetContext", {"value": "chrome"})
        try:
            return self.call("WebDriver:ExecuteScript", {"script": body, "args": []})
        finally:
            if chrome:
                self.call("Marionette:SetContext", {"value": "content"})

    def exercise(self, server):
        """The same as Chromium's: storage, a form, a download, a permission,
        the new-tab page with its shortcuts shown and one clicked."""
        self.visit([server.url("shop.test", "/store")])
        time.sleep(1.0)
        self.visit([server.url("shop.test", "/form")])
        self.script(FILL_FORM)
        time.sleep(0.5)
        attempt("Firefox's download", lambda: self.script(
            "location.href = %s;" % json.dumps(server.url("shop.test", "/file.bin"))))
        time.sleep(1.5)
        attempt("Firefox's permission", lambda: self.script("""
            const uri = Services.io.newURI("%s");
            const principal = Services.scriptSecurityManager.createContentPrincipal(uri, {});
            Services.perms.addFromPrincipal(principal, "geo", Services.perms.ALLOW_ACTION);
            Services.perms.addFromPrincipal(principal, "desktop-notification", Services.perms.DENY_ACTION);
        """ % server.url("news.test", "/"), chrome=True))
        # The new-tab page shows the shortcuts of the most-visited sites; one is clicked.
        attempt("Firefox's new tab", lambda: self.script("""
            gBrowser.selectedTab = gBrowser.addTab("about:newtab",
                {triggeringPrincipal: Services.scriptSecurityManager.getSystemPrincipal()});
        """, chrome=True))
        time.sleep(3.0)
        attempt("Firefox's shortcut click", lambda: self.script(
            "const a = document.querySelector('.top-site-outer a, a.top-site-button');"
            "if (a) a.click(); return a ? a.href : null;"))
        time.sleep(1.0)

    def close(self):
        try:
            self.call("Marionette:Quit", {"flags": ["eAttemptQuit"]})
        except Exception:
            pass
        try:
            self.proc.wait(60)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise RuntimeError("firefox did not close")


def make_firefox(out, server):
    profile = os.path.join(out, "firefox")
    os.makedirs(profile, exist_ok=True)
    url = server.url(BOOKMARKED, "/page")
    with open(os.path.join(profile, "bookmarks.html"), "w") as f:
        f.write("<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<META HTTP-EQUIV=\"Content-Type\" "
                "CONTENT=\"text/html; charset=UTF-8\">\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks Menu</H1>\n"
                "<DL><p>\n    <DT><A HREF=\"%s\">News</A>\n</DL><p>\n" % url)
    browser = Firefox(profile, server)
    browser.visit([server.url(h, "/set") for h in HOSTS] + [url])
    try:
        browser.exercise(server)
    except RuntimeError as error:
        print("note: Firefox's exercise stopped: %s" % error)
    time.sleep(1)
    browser.close()


def revisit_firefox(out, server):
    browser = Firefox(os.path.join(out, "firefox"), server)
    browser.visit([server.url(h, "/again") for h in HOSTS])
    browser.close()


# --- Checks -------------------------------------------------------------------------

import glob
import sqlite3

FAILURES = []


def check(what, good):
    print(("ok   " if good else "FAIL ") + what)
    if not good:
        FAILURES.append(what)


def query(path, sql):
    # Read-only and immutable: a check must not change what it checks.
    db = sqlite3.connect("file:%s?immutable=1" % path, uri=True)
    try:
        return db.execute(sql).fetchall()
    finally:
        db.close()


def chromium_cookies(out):
    return os.path.join(out, "chromium", "Default", "Cookies")


def print_versions(out):
    chromium = os.path.join(out, "chromium", "Default")
    firefox = os.path.join(out, "firefox")
    for name in ("Cookies", "History", "Favicons", "Top Sites"):
        path = os.path.join(chromium, name)
        if os.path.exists(path):
            meta = dict(query(path, "SELECT key, value FROM meta"))
            print("Chromium %s: version %s, last compatible %s" % (name, meta.get("version"),
                                                                   meta.get("last_compatible_version")))
    for name in ("places.sqlite", "favicons.sqlite", "cookies.sqlite"):
        print("Firefox %s: user_version %s" % (name, query(os.path.join(firefox, name), "PRAGMA user_version")[0][0]))


def check_swept(out, port):
    firefox = os.path.join(out, "firefox")
    bookmarked = "http://%s:%d/page" % (BOOKMARKED, port)
    check("Chromium keeps only the friendly host's cookies",
          sorted(r[0] for r in query(chromium_cookies(out), "SELECT host_key FROM cookies")) == ["friend.test"])
    check("Chromium's History is gone", not os.path.exists(os.path.join(out, "chromium", "Default", "History")))
    places = os.path.join(firefox, "places.sqlite")
    check("Firefox keeps no visit", query(places, "SELECT count(*) FROM moz_historyvisits")[0][0] == 0)
    check("Firefox keeps only the bookmarked page",
          [r[0] for r in query(places, "SELECT url FROM moz_places")] == [bookmarked])
    check("Firefox keeps only the friendly host's cookies",
          sorted(r[0] for r in query(os.path.join(firefox, "cookies.sqlite"), "SELECT host FROM moz_cookies"))
          == ["friend.test"])
    icons = [r[0] for r in query(os.path.join(firefox, "favicons.sqlite"), "SELECT icon_url FROM moz_icons")]
    check("Firefox keeps the bookmarked site's own icon and no other: %s" % icons,
          icons == ["http://%s:%d/favicon.ico" % (BOOKMARKED, port)])


# --- The census ---------------------------------------------------------------------

import fnmatch
import re

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
COMPANIONS = ("-journal", "-wal", "-shm")
# Linux-only files of a running or locked profile: none of them is in a
# Windows profile.
LINUX_ONLY = {"firefox": ["lock", ".parentlock"], "chromium": ["SingletonLock", "SingletonCookie", "SingletonSocket"]}


def load_census(path):
    fields = ("family", "place", "kind", "name", "action", "entry", "what", "why")
    items = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            parts = line.rstrip("\r\n").split("\t")
            if len(parts) == len(fields):  # anything else is not the census's
                items.append(dict(zip(fields, parts)))
    return items


_PATTERNS = {}


def matches(pattern, name):
    # Windows names: case does not count.
    compiled = _PATTERNS.get(pattern)
    if compiled is None:
        compiled = _PATTERNS[pattern] = re.compile(fnmatch.translate(pattern.lower()))
    return compiled.match(name.lower()) is not None


def census_item(items, family, place, rel):
    """The census item that names a file (rel, '\\' between folders): a file
    item for it or its -journal, or a folder item for a folder it lies in."""
    base = rel
    for suffix in COMPANIONS:
        if base.endswith(suffix):
            base = base[:-len(suffix)]
    parts = rel.split("\\")
    for item in items:
        if item["family"] != family or item["place"] != place:
            continue
        if item["kind"] == "file" and (matches(item["name"], rel) or matches(item["name"], base)):
            return item
        if item["kind"] == "folder" and any(matches(item["name"], "\\".join(parts[:k])) for k in range(1, len(parts))):
            return item
    return None


def is_sqlite(path):
    try:
        with open(path, "rb") as f:
            return f.read(16) == b"SQLite format 3\x00"
    except OSError:
        return False


def census_walk(root, skip_dirs=()):
    for folder, dirs, files in os.walk(root):
        rel_folder = os.path.relpath(folder, root)
        if rel_folder == ".":
            dirs[:] = [d for d in dirs if not any(matches(p, d) for p in skip_dirs)]
        for name in files:
            rel = name if rel_folder == "." else os.path.join(rel_folder, name)
            yield rel.replace(os.sep, "\\"), os.path.join(folder, name)


def census_check(out, tsv):
    items = load_census(tsv)
    check("the census was read (%d items)" % len(items), len(items) > 100)
    profiles = ("Default", "Profile *", "System Profile", "Guest Profile")
    places = [("Chromium", "user data", os.path.join(out, "chromium"), profiles, "chromium")]
    chromium = os.path.join(out, "chromium")
    for d in sorted(os.listdir(chromium)):
        if os.path.isdir(os.path.join(chromium, d)) and any(matches(p, d) for p in profiles):
            places.append(("Chromium", "profile", os.path.join(chromium, d), (), "chromium"))
    places.append(("Firefox", "profile", os.path.join(out, "firefox"), (), "firefox"))
    unknown, files, tables = [], 0, 0
    for family, place, root, skip, browser in places:
        for rel, path in census_walk(root, skip):
            if rel in LINUX_ONLY[browser]:
                continue
            files += 1
            # Windows keeps some of a Chromium profile's files in Network\.
            name = rel[len("Network\\"):] if family == "Chromium" and rel.startswith("Network\\") else rel
            item = census_item(items, family, place, name)
            if item is None:
                unknown.append("%s %s file %s" % (family, place, rel))
                continue
            if item["kind"] != "file" or not is_sqlite(path) or name.endswith(COMPANIONS):
                continue
            for (table,) in query(path, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"):
                tables += 1
                named = [t for t in items if t["family"] == family and t["place"] == place and t["kind"] == "table"
                         and matches(t["name"].split(":")[0], name) and matches(t["name"].split(":", 1)[1], table)]
                if not named:
                    unknown.append("%s %s table %s:%s" % (family, place, name, table))
    check("the census names all %d files and %d tables the browsers wrote%s" % (
        files, tables, "".join("\n       not in the census: " + u for u in unknown)), not unknown)
    table = readme_table(items)
    with open(README, encoding="utf-8") as f:
        readme = f.read()
    check("the README's table of browser files is the census's", table in readme)
    if table not in readme:
        print("       the table, as the census has it:\n" + table)


def readme_table(items):
    """The README's table: the census's files and folders, those that the
    sweep treats alike in one row."""
    rows, order = {}, []
    for item in items:
        if item["kind"] == "table":
            continue
        if item["action"] == "kept":
            does = "kept: " + item["why"]
        else:
            entry = item["entry"] if item["family"] == "Firefox" else "... " + item["entry"]
            does = "%s: entry \"%s\"%s" % (item["action"], entry, "; " + item["why"] if item["why"] else "")
        where = {"user data": " (user-data folder)", "local": " (Local AppData)"}.get(item["place"], "")
        key = (item["family"], where, item["what"], does)
        if key not in rows:
            rows[key] = []
            order.append(key)
        rows[key].append("`%s%s`" % (item["name"], "\\" if item["kind"] == "folder" else ""))
    lines = ["| browser | file or folder | what it records | what the sweep does |", "|---|---|---|---|"]
    for key in order:
        family, where, what, does = key
        lines.append("| %s | %s%s | %s | %s |" % (family, ", ".join(rows[key]), where, what, does))
    return "\n".join(lines) + "\n"


NEWER_KEPT = "shop.test"  # the visited site the newer table refers to


def make_newer(out):
    newer = os.path.join(out, "firefox-newer")
    shutil.copytree(os.path.join(out, "firefox"), newer, symlinks=True)
    db = sqlite3.connect(os.path.join(newer, "places.sqlite"))
    version = db.execute("PRAGMA user_version").fetchone()[0]
    db.executescript(
        "PRAGMA user_version = %d;"
        "CREATE TABLE moz_future_collections (id INTEGER PRIMARY KEY, "
        "  place_id INTEGER NOT NULL REFERENCES moz_places(id) ON DELETE CASCADE, added INTEGER);"
        "INSERT INTO moz_future_collections (place_id, added) "
        "  SELECT id, 1 FROM moz_places WHERE url LIKE 'http://%s:%%/set';" % (version + 5, NEWER_KEPT))
    db.commit()
    db.close()
    print("Firefox places.sqlite raised to user_version %d, with a table that refers to %s" % (version + 5, NEWER_KEPT))


def check_newer(out, port):
    places = os.path.join(out, "firefox-newer", "places.sqlite")
    urls = sorted(r[0] for r in query(places, "SELECT url FROM moz_places"))
    expected = sorted(["http://%s:%d/page" % (BOOKMARKED, port), "http://%s:%d/set" % (NEWER_KEPT, port)])
    check("a newer Firefox's history is cleaned and the place its new table refers to stays: %s" % urls,
          urls == expected and query(places, "SELECT count(*) FROM moz_historyvisits")[0][0] == 0
          and query(places, "SELECT count(*) FROM moz_future_collections")[0][0] == 1)


def check_revisit(out, received):
    firefox = os.path.join(out, "firefox")
    for name in ("chromium", "firefox"):
        got = received[name]
        check("%s sends the friendly host its old cookie: %s" % (name, got.get("friend.test")),
              got.get("friend.test") == ["visit_friend=1"])
        others = {h: c for h, c in got.items() if h != "friend.test"}
        check("%s sends no other host a cookie: %s" % (name, others), not others)
    check("Firefox set no database aside", not glob.glob(os.path.join(firefox, "*.corrupt")))
    bookmarks = query(os.path.join(firefox, "places.sqlite"),
                      "SELECT p.url FROM moz_bookmarks b JOIN moz_places p ON p.id = b.fk WHERE b.title = 'News'")
    check("Firefox keeps its bookmark", len(bookmarks) == 1)
    icons = query(os.path.join(firefox, "favicons.sqlite"),
                  "SELECT count(*) FROM moz_icons WHERE root = 1 AND icon_url LIKE 'http://%s:%%/favicon.ico'"
                  % BOOKMARKED)
    check("Firefox keeps the bookmark's icon", icons[0][0] == 1)


def main():
    what, out = sys.argv[1], sys.argv[2]
    if what == "readme-table":
        sys.stdout.write(readme_table(load_census(out)))
        return 0
    if what == "census":
        census_check(out, sys.argv[3])
        return len(FAILURES)
    if what == "make-newer":
        make_newer(out)
        return 0
    if what == "check-swept":
        with open(os.path.join(out, "port")) as f:
            port = int(f.read())
        check_swept(out, port)
        check_newer(out, port)
        return len(FAILURES)
    server = Server()
    try:
        if what == "make":
            both(make_chromium, make_firefox, out, server)
            with open(os.path.join(out, "port"), "w") as f:
                f.write(str(server.port))
            print_versions(out)
            return 0
        # The same port as before: Firefox's cookies and icons belong to it.
        with open(os.path.join(out, "port")) as f:
            port = int(f.read())
        server.close()
        server = Server(port)
        before = query(chromium_cookies(out), "SELECT creation_utc FROM cookies WHERE host_key = 'friend.test'")
        both(revisit_chromium, revisit_firefox, out, server)
        received = {name: {h: sorted(c) for h, c in server.received.get(name, {}).items()}
                    for name in ("chromium", "firefox")}
        after = query(chromium_cookies(out), "SELECT creation_utc FROM cookies WHERE host_key = 'friend.test'")
        check("Chromium opened its cookie database as it was, not made anew", before == after and len(after) == 1)
        check_revisit(out, received)
        return len(FAILURES)
    finally:
        server.close()


def both(first, second, out, server):
    """Runs the two browsers at once (most of their time is spent starting)."""
    errors = []

    def run(step):
        try:
            step(out, server)
        except Exception as error:  # reported below, on the main thread
            errors.append(error)

    threads = [threading.Thread(target=run, args=(step,)) for step in (first, second)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if errors:
        raise errors[0]


if __name__ == "__main__":
    sys.exit(main())
