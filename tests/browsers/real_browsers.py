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
                body = ("<!doctype html><html><head><title>%s</title>%s</head><body>%s</body></html>"
                        % (host, link, host)).encode()
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
        }
        with open(os.path.join(profile, "prefs.js"), "w") as f:
            for key, value in prefs.items():
                f.write("user_pref(%s, %s);\n" % (json.dumps(key), json.dumps(value)))
        env = dict(os.environ, MOZ_HEADLESS="1", MOZ_CRASHREPORTER_DISABLE="1")
        self.proc = subprocess.Popen(["firefox-esr", "--headless", "--marionette", "--no-remote", "--profile", profile],
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
        "  SELECT id, 1 FROM moz_places WHERE url LIKE 'http://%s:%%';" % (version + 5, NEWER_KEPT))
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
