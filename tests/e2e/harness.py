"""End-to-end harness: runs Windows programs of the build under Wine, reads
their trace lines, serves patch builds from a local HTTP server that can fail
on purpose, writes throwaway registry keys and takes screenshots.

The tests run inside ctest, which starts the Wine prefix, Xvfb and a
persistent wineserver for the build tree (tests/wine/setup.sh) and passes
VELDRUN_BUILD, VELDRUN_SOURCE and VELDRUN_EXE in the environment.
"""

import contextlib
import gzip
import http.server
import os
import re
import shutil
import socketserver
import subprocess
import sys
import tempfile
import threading
import time
import unittest

BUILD = os.environ.get("VELDRUN_BUILD", "")
SOURCE = os.environ.get("VELDRUN_SOURCE", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
VELDRUN_EXE = os.environ.get("VELDRUN_EXE", os.path.join(BUILD, "src", "app", "Veldrun.exe"))
# The tree whose helper programs (tests/e2e/tools) the tests use: the win32
# lane uses the win64 tree's, which start natively in its 64-bit prefix.
TOOLS_BUILD = os.environ.get("VELDRUN_TOOLS_BUILD", BUILD)


def wine_env(extra=None, debug="-all,+debugstr"):
    """The environment of a Wine program in the build tree's prefix."""
    env = dict(os.environ)
    with open(os.path.join(BUILD, "wine.env")) as f:
        for line in f:
            m = re.match(r'export (\w+)="?(.*?)"?$', line.strip())
            if m:
                env[m.group(1)] = m.group(2)
    env["WINEDEBUG"] = debug
    if extra:
        env.update(extra)
    return env


WINE = "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"


def loader(exe):
    """The Wine loader for a program: i386 Wine for a 32-bit one (it runs
    emulated), the 64-bit loader for anything else (programs named without
    a path, such as regedit, are the prefix's 64-bit ones)."""
    try:
        with open(exe, "rb") as f:
            head = f.read(4096)
        pe = int.from_bytes(head[0x3C:0x40], "little")
        if head[pe:pe + 4] == b"PE\0\0" and head[pe + 4:pe + 6] == b"\x4c\x01":
            return WINE32
    except (OSError, ValueError):
        pass
    return WINE

_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"', "a": "\a", "b": "\b", "f": "\f", "v": "\v", "0": "\0"}


def _unescape(s):
    """Undoes Wine's debugstr escaping of a traced string."""
    out = []
    i = 0
    while i < len(s):
        c = s[i]
        if c == "\\" and i + 1 < len(s):
            n = s[i + 1]
            if n == "x":
                out.append(chr(int(s[i + 2:i + 4], 16)))
                i += 4
                continue
            if n == "u":
                out.append(chr(int(s[i + 2:i + 6], 16)))
                i += 6
                continue
            if n in "01234567" and i + 3 < len(s) and all(ch in "01234567" for ch in s[i + 1:i + 4]):
                out.append(chr(int(s[i + 1:i + 4], 8)))
                i += 4
                continue
            out.append(_ESCAPES.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


_TRACE = re.compile(r'^[0-9a-f]+:\w+:debugstr:OutputDebugString[AW] (?:L)?"(.*)"$')


def parse_traces(stderr_text):
    """The strings a program passed to OutputDebugString, in order."""
    lines = []
    for raw in stderr_text.splitlines():
        m = _TRACE.match(raw)
        if m:
            lines.append(_unescape(m.group(1)))
    return lines


class Run:
    def __init__(self, rc, stdout, stderr, program=""):
        self.rc = rc
        self.stdout = stdout
        self.stderr = stderr
        self.program = program
        self.traces = parse_traces(stderr)

    @property
    def trace_text(self):
        return "".join(self.traces)

    def __repr__(self):
        # Without a trace, what Wine itself said is all there is to go on.
        said = "" if self.traces else ", stderr=%r" % self.stderr[-600:]
        return "Run(%s, rc=%r, traces=%r%s)" % (self.program, self.rc, self.traces, said)


# Wine programs run with the address space layout of the loader fixed
# (setarch -R; the programs they start inherit it). Debian's Wine has no
# preloader: with the loader's heap placed at random anywhere in the
# gigabyte above it, now and then (about one start in a thousand) the heap
# covers the address Wine needs for the shared user data (0x7ffe0000), and
# the start fails: "failed to map the shared user data", status 1, and for
# a program started by another CreateProcess error 1359. Unrandomised, the
# heap follows the loader. tests/e2e/tools/startprobe.cpp shows the fault
# without any of the program's code (run it without setarch -R).
WINE_LAUNCH = ["setarch", "-R"]
# What Wine prints when it could not start a program at all, before the
# program's first instruction.
WINE_START_FAILURES = ("failed to map the shared user data", "wine: could not load ntdll.so",
                       "wine: failed to initialize")
# A start Wine failed in the program itself: CreateProcess then says 1359
# (ERROR_INTERNAL_ERROR) and the child's Wine said why on the shared stderr.
PATCH_START_IN_WINE = "(error 1359)"


def wine_start_failure(r):
    """Wine's own text when the run `r` (or the patch it started) failed
    because Wine could not start a program; None for a run that ran."""
    said = next((t for t in WINE_START_FAILURES if t in r.stderr), None)
    if said is None:
        return None
    if not r.traces or any(PATCH_START_IN_WINE in t for t in r.traces):
        return said
    return None


def report_retry(what, said):
    # Reported in the test's output: a retry is never silent.
    sys.stderr.write("harness: Wine could not start %s (\"%s\"); started once more\n" % (what, said))
    sys.stderr.flush()


def _spawn(exe, args, env, cwd):
    tmp = tempfile.mkdtemp(prefix="vdr-e2e-")
    out_path = os.path.join(tmp, "stdout")
    err_path = os.path.join(tmp, "stderr")
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        proc = subprocess.Popen(WINE_LAUNCH + [loader(exe), exe] + list(args), stdout=out, stderr=err,
                                stdin=subprocess.DEVNULL, env=env or wine_env(), cwd=cwd)
    proc.program = os.path.basename(exe)
    return proc, out_path, err_path, tmp


def _traced_yet(handle):
    with open(handle[2], "rb") as f:
        return bool(parse_traces(f.read().decode("utf-8", "replace")))


def start(exe, args=(), env=None, cwd=None, first_trace=False, timeout=300.0):
    """Starts a Windows program under Wine; output goes through files.
    Returns (process, out_path, err_path, tmpdir). With `first_trace`, for
    a program that traces, waits (at most `timeout` seconds) until it has
    traced its first line: a program Wine could not start is then started
    once more, and that is reported; one that ran is never started again."""
    handle = _spawn(exe, args, env, cwd)
    if not first_trace:
        return handle
    wait_until(lambda: _traced_yet(handle) or handle[0].poll() is not None, timeout)
    if handle[0].poll() is None or _traced_yet(handle):
        return handle
    with open(handle[2], "rb") as f:
        stderr = f.read().decode("utf-8", "replace")
    said = next((t for t in WINE_START_FAILURES if t in stderr), None)
    if said is None:
        return handle  # it ran and ended: the test sees what it did
    finish(handle)
    report_retry(os.path.basename(exe), said)
    return _spawn(exe, args, env, cwd)


def finish(handle, timeout=120):
    proc, out_path, err_path, tmp = handle
    try:
        rc = proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        raise
    with open(out_path, "rb") as f:
        out = f.read().decode("utf-8", "replace")
    with open(err_path, "rb") as f:
        err = f.read().decode("utf-8", "replace")
    shutil.rmtree(tmp, ignore_errors=True)
    return Run(rc, out, err, proc.program)


def wait_trace(handle, text, timeout=120.0):
    """Waits until the program started as `handle` has traced the line
    `text` (read from its output file as it goes); True when it did."""
    def traced():
        with open(handle[2], "rb") as f:
            return text in parse_traces(f.read().decode("utf-8", "replace"))
    return bool(wait_until(lambda: traced() or handle[0].poll() is not None, timeout)) and traced()


def run(exe, args=(), env=None, timeout=120, cwd=None):
    """Runs a Windows program under Wine to its end. A run that Wine could
    not start, or whose patch Wine could not start, is run once more (and
    that is reported); a program that ran and failed is never run again."""
    r = finish(start(exe, args, env, cwd), timeout)
    said = wine_start_failure(r)
    if said is None:
        return r
    report_retry(os.path.basename(exe) if not r.traces else "the patch %s started" % os.path.basename(exe), said)
    # The servers forget the first run's requests: the test sees one run.
    for server in list(_SERVING):
        server.forget()
    return finish(start(exe, args, env, cwd), timeout)


def winepath(path):
    """The Windows form (Z:\\...) of a host path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def unix_path(path, env=None):
    """The host path of a Windows path in the prefix (C:\\... or Z:\\...);
    path components are matched without regard to case, as Wine does."""
    e = env or wine_env()
    drive, rest = path[:2].upper(), path[2:].replace("\\", "/").strip("/")
    if drive == "Z:":
        base = "/"
    elif drive == "C:":
        base = os.path.join(e["WINEPREFIX"], "drive_c")
    else:
        raise ValueError("no drive mapping for %r" % path)
    cur = base
    for part in [p for p in rest.split("/") if p]:
        exact = os.path.join(cur, part)
        if not os.path.exists(exact) and os.path.isdir(cur):
            for name in os.listdir(cur):
                if name.lower() == part.lower():
                    exact = os.path.join(cur, name)
                    break
        cur = exact
    return cur


def tool(name):
    """A helper program of the end-to-end tests (tests/e2e/tools)."""
    return os.path.join(TOOLS_BUILD, "tests", "e2e", "tools", name + ".exe")


# ---------------------------------------------------------------- packages

def marker_field_text():
    """The package marker's 18 characters (composed, never one literal)."""
    half = b"!vdrsign!"
    return half + half


def build_package(workdir, ini_bytes, name="patch.ini", target="package.exe"):
    """Writes `name` with ini_bytes into workdir and runs Veldrun.exe in
    builder mode there; returns the host path of the package."""
    with open(os.path.join(workdir, name), "wb") as f:
        f.write(ini_bytes)
    r = run(VELDRUN_EXE, [target, name], cwd=workdir)
    if r.rc != 0:
        raise RuntimeError("builder mode failed: %r" % r)
    return os.path.join(workdir, target)


def sign_package(package, signed):
    """Code-signs `package` into `signed` with osslsigncode and a throwaway
    self-signed certificate, as a vendor would after building it; returns
    the number of bytes the signature added."""
    work = tempfile.mkdtemp(prefix="vdr-sign-")
    try:
        key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=Veldrun test signer"], check=True, capture_output=True)
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", package, "-out", signed],
                       check=True, capture_output=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return os.path.getsize(signed) - os.path.getsize(package)


def extracted_path(r):
    """The Windows path from the "Extract patch information file" trace of a
    run, or None when the run traced none."""
    prefix = "[Veldrun] Extract patch information file: "
    for t in r.traces:
        if t.startswith(prefix):
            return t[len(prefix):].rstrip("\n")
    return None


# ---------------------------------------------------------------- registry

def reg_import(text):
    """Imports registry text ("Windows Registry Editor Version 5.00")."""
    with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False, encoding="utf-8") as f:
        f.write(text)
        path = f.name
    try:
        r = run("regedit", ["/S", winepath(path)], env=wine_env(debug="-all"))
        if r.rc != 0:
            raise RuntimeError("regedit failed: %r" % r)
    finally:
        os.unlink(path)


def reg_view_key(key, view=32):
    """The path, as a 64-bit program names it, of key `key` (below
    HKEY_LOCAL_MACHINE) in registry view `view`: the program reads the
    32-bit view, where Software\\X is Software\\WOW6432Node\\X."""
    head, sep, rest = key.partition("\\")
    if view == 32 and head.lower() == "software" and sep:
        return "%s\\WOW6432Node\\%s" % (head, rest)
    return key


def reg_delete(keys, views=(32,)):
    """Removes keys (one path or a list) under HKEY_LOCAL_MACHINE with
    everything below them, in each of the registry views `views`."""
    keys = [keys] if isinstance(keys, str) else keys
    lines = ["[-HKEY_LOCAL_MACHINE\\%s]\n" % reg_view_key(k, v) for k in keys for v in views]
    reg_import("Windows Registry Editor Version 5.00\n\n" + "\n".join(lines))


def reg_products(products, view=32):
    """Writes installed products: {key path: (Prod_Name, Prod_Ver, SR_No, SR_Ver)}
    into registry view `view` (32: the one the program reads). A value of
    None leaves that registry value out."""
    def q(v):
        return v.replace("\\", "\\\\").replace('"', '\\"')
    parts = ["Windows Registry Editor Version 5.00", ""]
    for key, (name, ver, srno, srver) in products.items():
        key = reg_view_key(key, view)
        parts.append("[HKEY_LOCAL_MACHINE\\%s\\UserReg]" % key)
        for k, v in (("Prod_Name", name), ("Prod_Ver", ver)):
            if v is not None:
                parts.append('"%s"="%s"' % (k, q(v)))
        parts.append("")
        parts.append("[HKEY_LOCAL_MACHINE\\%s\\BuildInfo]" % key)
        for k, v in (("SR_No", srno), ("SR_Ver", srver)):
            if v is not None:
                parts.append('"%s"="%s"' % (k, q(v)))
        parts.append("")
    reg_import("\n".join(parts) + "\n")


# ------------------------------------------------------------- web server

class Route:
    """How the server answers one path.

    mode: "ok" (body with Content-Length), "status" (the given status code
    with a small error page), "short" (announces len(body) but sends only
    `cut` bytes, then closes), "slow" (sends body in `chunk`-byte pieces with
    `delay` seconds between them), "nolength" (no Content-Length: the body
    ends when the connection closes). A `gate` (threading.Event) holds a
    "slow" body after its first `chunk` bytes (or the first `hold_at`)
    until it is set (at most ten minutes).
    """

    def __init__(self, body=b"", mode="ok", status=200, cut=0, chunk=4096, delay=0.0, length=True, gate=None,
                 hold_at=0):
        self.body = body
        self.mode = mode
        self.status = status
        self.cut = cut
        self.chunk = chunk
        self.delay = delay
        self.length = length
        self.gate = gate
        self.hold_at = hold_at


_SERVING = []  # the PatchServers serving now


class PatchServer:
    """A local HTTP/1.0 server on 127.0.0.1 with programmable routes; it
    records every request path in order."""

    def __init__(self):
        self.routes = {}
        self.requests = []
        self.gzipped = []  # the paths answered gzip-compressed
        self.sent_whole = []  # the paths whose body went out to its end
        self.stopping = threading.Event()
        self.lock = threading.Lock()
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.0"

            def log_message(self, *a):
                pass

            def do_GET(self):
                with owner.lock:
                    owner.requests.append(self.path)
                    route = owner.routes.get(self.path)
                try:
                    owner._answer(self, route)
                except (BrokenPipeError, ConnectionResetError):
                    pass

            def do_HEAD(self):
                with owner.lock:
                    route = owner.routes.get(self.path)
                if route is None or route.mode == "status":
                    self.send_response(route.status if route else 404)
                    self.end_headers()
                    return
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(len(route.body)))
                self.end_headers()

        class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
            daemon_threads = True
            allow_reuse_address = True

        self.httpd = Server(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    @property
    def base(self):
        return "http://127.0.0.1:%d" % self.port

    def _answer(self, h, route):
        if route is not None and route.mode == "stall":
            self.stopping.wait(min(route.delay or 60, 60))
            return
        if route is not None and route.mode == "gzip" and "gzip" in h.headers.get("Accept-Encoding", ""):
            body = gzip.compress(route.body)
            with self.lock:
                self.gzipped.append(h.path)
            h.send_response(200)
            h.send_header("Content-Type", "application/octet-stream")
            h.send_header("Content-Encoding", "gzip")
            h.send_header("Content-Length", str(len(body)))
            h.end_headers()
            h.wfile.write(body)
            return
        if route is None or route.mode == "status":
            status = route.status if route else 404
            page = b"<html><body><h1>%d</h1>error page</body></html>" % status
            h.send_response(status)
            h.send_header("Content-Type", "text/html")
            h.send_header("Content-Length", str(len(page)))
            h.end_headers()
            h.wfile.write(page)
            return
        h.send_response(200)
        h.send_header("Content-Type", "application/octet-stream")
        if route.mode != "nolength":
            h.send_header("Content-Length", str(len(route.body)))
        h.end_headers()
        body = route.body
        if route.mode == "short":
            h.wfile.write(body[:route.cut])
            h.wfile.flush()
            return
        if route.mode in ("slow", "nolength") and (route.delay or route.gate or route.mode == "nolength"):
            for i in range(0, len(body), route.chunk):
                h.wfile.write(body[i:i + route.chunk])
                h.wfile.flush()
                if route.gate and i <= route.hold_at < i + route.chunk:
                    route.gate.wait(600)
                if route.delay:
                    time.sleep(route.delay)
        else:
            h.wfile.write(body)
        with self.lock:
            self.sent_whole.append(h.path)

    def forget(self):
        """Drops what the server recorded so far."""
        with self.lock:
            for record in (self.requests, self.gzipped, self.sent_whole):
                del record[:]

    def __enter__(self):
        self.thread.start()
        _SERVING.append(self)
        return self

    def __exit__(self, *exc):
        if self in _SERVING:
            _SERVING.remove(self)
        self.stopping.set()
        self.httpd.shutdown()
        self.httpd.server_close()


# ------------------------------------------------------------- screenshots

def screenshot(path, env=None):
    """Captures the whole Xvfb screen of the test run into a PNG file."""
    e = env or wine_env()
    xwd = subprocess.run(["xwd", "-root", "-silent"], env=e, stdout=subprocess.PIPE, check=True).stdout
    subprocess.run(["convert", "xwd:-", path], input=xwd, env=e, check=True)
    return path


# ------------------------------------------------------- update packages

def temp_dir(env=None):
    """The host path of the prefix's temporary directory (the TEMP of its
    user), asked of the registry itself: user.reg is saved by wineserver in
    its own time, so right after a test put TEMP back it may still name
    what the test had set."""
    e = env or wine_env()
    out = run("reg", ["query", "HKCU\\Environment", "/v", "TEMP"], env=dict(e, WINEDEBUG="-all")).stdout
    m = re.search(r"^\s+TEMP\s+REG_\w+\s+(.*?)\s*$", out, re.M)
    if not m:
        raise AssertionError("the prefix user has no TEMP: %r" % out)
    return unix_path(m.group(1), e)


def run_root(env=None):
    """The host path of the folder the runs make their folders in: the
    prefix's Windows\\SystemTemp where it exists, else Windows\\Temp
    (never the user's TEMP)."""
    for name in ("C:\\windows\\SystemTemp", "C:\\windows\\Temp"):
        path = unix_path(name, env)
        if os.path.isdir(path):
            return path
    raise RuntimeError("no system temporary folder in the prefix")


def inet_cache_dir(env=None):
    """The host path of the prefix user's URL cache (INetCache), where the
    platform's URL download stages what it fetches."""
    e = env or wine_env()
    with open(os.path.join(e["WINEPREFIX"], "user.reg"), encoding="latin-1") as f:
        m = re.search(r'^"Cache"="(.*)"$', f.read(), re.M)
    return unix_path(m.group(1).replace("\\\\", "\\"), e)


def files_holding(folder, bodies):
    """The files under folder whose bytes are one of bodies."""
    sizes = {len(b) for b in bodies}
    found = []
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            if os.path.getsize(path) in sizes:
                with open(path, "rb") as f:
                    if f.read() in bodies:
                        found.append(path)
    return found


def run_folder_files(name="patch.ini", env=None):
    """Host paths of the files called `name` in the run folders (a run's own
    folder, "vdr" and 16 hex digits) of the system's temporary folder."""
    root = run_root(env)
    return sorted(os.path.join(root, d, name) for d in os.listdir(root)
                  if re.fullmatch(r"vdr[0-9a-f]{16}", d) and os.path.exists(os.path.join(root, d, name)))


@contextlib.contextmanager
def user_environment(values):
    """Sets variables of the user's own environment (HKCU\\Environment, which
    programs started later inherit, elevated ones too) for the block, as any
    user can; puts the old values back after it."""
    key, quiet = "HKCU\\Environment", wine_env(debug="-all")
    old = {}
    for line in run("reg", ["query", key], env=quiet).stdout.splitlines():
        m = re.match(r"^\s+(\S+)\s+(REG_\w+)\s+(.*?)\s*$", line)
        if m and m.group(1).upper() in {name.upper() for name in values}:
            old[m.group(1).upper()] = (m.group(2), m.group(3))

    def reg(*args):
        if run("reg", list(args) + ["/f"], env=quiet).rc != 0:
            raise RuntimeError("reg %r failed" % (args,))
    try:
        for name, value in values.items():
            reg("add", key, "/v", name, "/t", "REG_SZ", "/d", value)
        yield
    finally:
        for name in values:
            kind, data = old.get(name.upper(), (None, None))
            reg(*(["add", key, "/v", name, "/t", kind, "/d", data] if kind else ["delete", key, "/v", name]))


def fakepatch_bytes():
    """The fake patch program, served as the patch build."""
    with open(tool("fakepatch"), "rb") as f:
        return f.read()


def fakepatch_env(log_path, exit_code=0, sleep_ms=0, extra=None):
    """Environment for a package run whose started fake patch records itself
    into log_path, sleeps sleep_ms and exits with exit_code."""
    env = {"VELDRUN_FAKEPATCH_LOG": winepath(log_path),
           "VELDRUN_FAKEPATCH_EXIT": str(exit_code),
           "VELDRUN_FAKEPATCH_SLEEP_MS": str(sleep_ms)}
    if extra:
        env.update(extra)
    return wine_env(env)


def wait_until(done, timeout=120.0, step=0.05):
    """Polls `done` until it returns something true or `timeout` seconds
    passed; returns its last result. For events another process brings
    about (a file written, a window shown): generous bounds, no fixed
    sleeps."""
    deadline = time.time() + timeout
    while True:
        result = done()
        if result or time.time() >= deadline:
            return result
        time.sleep(step)


def patch_started(run):
    """1 when a run without /w started its patch (it traced the command and
    ended with 0), else 0: the number of records to wait for."""
    return int(run.rc == 0 and any(t.startswith("Run Command:") for t in run.traces))


def read_fakepatch(log_path, count=0, timeout=120.0):
    """What each start of the fake patch recorded: a list of dicts with
    cmdline, show (wShowWindow, -1 when not given), hidden, size (of the
    program file started) and temp (its TEMP). A patch
    started without /w writes its record after the run has ended: `count`
    waits (at most `timeout` seconds) until that many starts are recorded."""
    def records():
        if not os.path.exists(log_path):
            return []
        with open(log_path, "rb") as f:
            # A line still being written is no record yet.
            return [line for line in f.read().decode("latin-1").split("\n")[:-1] if line]

    lines = records()
    if len(lines) < count:
        wait_until(lambda: len(records()) >= count, timeout)
        lines = records()
    starts = []
    for line in lines:
        fields = dict(part.split("=", 1) for part in line.split("|"))
        starts.append({"cmdline": fields["cmdline"], "show": int(fields["show"]), "hidden": fields["hidden"] == "1",
                       "size": int(fields["size"]), "temp": fields["temp"]})
    return starts


class Package:
    """An update package built by the program's builder mode from a patch
    information file, in a directory of its own."""

    def __init__(self, ini_text):
        self.dir = tempfile.mkdtemp(prefix="vdr-pkg-")
        self.exe = build_package(self.dir, ini_text.replace("\n", "\r\n").encode("latin-1"))

    def start(self, args=(), env=None):
        return start(self.exe, list(args), env=env, first_trace=True)

    def run(self, args=(), env=None, timeout=120):
        return run(self.exe, list(args), env=env, timeout=timeout)

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)


def winctl(command, ms, env=None):
    """Runs the window helper (see tests/e2e/tools/winctl.cpp); returns its
    Run, whose stdout holds its findings."""
    return run(tool("winctl"), [command, str(ms)], env=env or wine_env(), timeout=ms / 1000.0 + 60)


class Watcher:
    """The window helper running beside a test (winctl COMMAND MS): made
    once the helper looks (its "ready" mark, waited for), so that a run
    started after it cannot come and go unseen. `wait("seen")` waits until
    it has found the update window; `finish()` gives its Run."""

    def __init__(self, command, ms, env=None):
        self.mark = tempfile.mktemp(prefix="vdr-winctl-")
        self.ms = ms
        self.handle = start(tool("winctl"), [command, str(ms)],
                            env=dict(env or wine_env(debug="-all"), VELDRUN_WINCTL_MARK=winepath(self.mark)))
        if not self.wait("ready"):
            r = self.finish()
            raise RuntimeError("the window helper did not start looking: %r" % r)

    def marks(self):
        if not os.path.exists(self.mark):
            return []
        with open(self.mark) as f:
            return f.read().split()

    def wait(self, what, timeout=120.0):
        """True once the helper marked `what`; False when it ended or
        `timeout` seconds passed first."""
        return bool(wait_until(lambda: what in self.marks() or self.handle[0].poll() is not None, timeout)) \
            and what in self.marks()

    def finish(self):
        try:
            return finish(self.handle, timeout=self.ms / 1000.0 + 60)
        finally:
            if os.path.exists(self.mark):
                os.unlink(self.mark)


def run_closing_boxes(exe, args=(), env=None, timeout=120, cwd=None):
    """Runs a program to its end like run(), closing with OK every "Update
    Utility" message box that appears meanwhile (a visible update run ends
    in one). The Run's `boxes` lists the texts of the boxes closed."""
    handle = start(exe, args, env, cwd)
    boxes = []
    end = time.time() + timeout
    while handle[0].poll() is None and time.time() < end:
        box = winctl("msgbox", 1500)
        if box.rc == 0:
            boxes.append(box.stdout.strip()[len("text="):])
    r = finish(handle, timeout=max(1, end - time.time()))
    r.boxes = boxes
    return r


# The Ombrel example: two products of the made-up brand Ombrel.
EXAMPLE_KEYS = ("Software\\Ombrel\\DiscStudio", "Software\\Ombrel\\TapeTune")
EXAMPLE_SRNO = "OMS240118-02"


EXAMPLE_INFO = ["OmbrelDiscStudio#OMS230910-01#4.00.2215;Tape_Tune#OMS230910-01#2.50.1870",
                "OmbrelDiscStudio#OMS231120-01#4.00.2301;Tape_Tune#OMS231120-01#2.50.1904"]


def example_ini(url, infos=None, srno=EXAMPLE_SRNO):
    """The Ombrel example's patch information file for server base `url`;
    `infos` replaces its Info values (folder i holds infos[i])."""
    infos = EXAMPLE_INFO if infos is None else infos
    lines = "".join("Info%d=%s\n" % (i, v) for i, v in enumerate(infos))
    return ("[RegPath]\nCount=2\n"
            "Path0=Software\\Ombrel\\DiscStudio\nCheck0=OmbrelDiscStudio 4.0\nNoVerCheck0=0\n"
            "Path1=Software\\Ombrel\\TapeTune\nCheck1=Tape_Tune 2.5\nNoVerCheck1=1\n\n"
            "[SRInfo]\nPID=417\nSRNo=%s\nURL=%s\nCount=%d\n%s" % (srno, url, len(infos), lines))


def folder_ini(url, folder, srno=EXAMPLE_SRNO):
    """A patch information file for the example's products as installed
    (example_products()) whose matching build is in folder `folder` (-1:
    none matches, the generic build)."""
    infos = ["Nothing#Here#0"] * max(folder + 1, 1)
    if folder >= 0:
        infos[folder] = EXAMPLE_INFO[0]
    return example_ini(url, infos, srno)


def remove_example_products():
    reg_delete(EXAMPLE_KEYS, views=(32, 64))


def example_products(disc=("Ombrel Disc Studio", "4.0", "OMS230910-01", "4.00.2215"),
                     tape=("Tape & Tune", "2.5", "OMS230910-01", "2.50.1870")):
    """Installs the example's products (None for a product: not installed)."""
    remove_example_products()
    products = {}
    if disc:
        products[EXAMPLE_KEYS[0]] = disc
    if tape:
        products[EXAMPLE_KEYS[1]] = tape
    if products:
        reg_products(products)


# ------------------------------------------------------- window geometry

WINPROBE = os.environ.get("VELDRUN_WINPROBE", os.path.join(TOOLS_BUILD, "tests", "e2e", "winprobe.exe"))


class WindowInfo:
    """Where a top-level window and its controls are on the screen (screen
    coordinates, rectangles as (left, top, right, bottom))."""

    def __init__(self, text):
        self.window = self.client = None
        self.controls = {}  # id -> (class, visible, rect)
        for line in text.splitlines():
            f = line.split()
            if f and f[0] in ("window", "client"):
                setattr(self, f[0], tuple(int(v) for v in f[1:5]))
            elif f and f[0] == "control":
                self.controls[int(f[1])] = (f[2], f[3] == "1", tuple(int(v) for v in f[4:8]))


def window_info(title, env=None, timeout=0.0, control=None):
    """The place of the visible window `title` of a running program, read by
    winprobe.exe in the same prefix; None when it has not shown up within
    `timeout` seconds. `control`: only a window that holds a control of that
    id counts; a negative `control`, only one that does not hold -control."""
    deadline = time.time() + timeout
    args = [title] + ([str(control)] if control is not None else [])
    while True:
        r = run(WINPROBE, args, env=env or wine_env(debug="-all"), timeout=60)
        if r.rc == 0:
            return WindowInfo(r.stdout)
        if time.time() >= deadline:
            return None
        time.sleep(0.2)


def screenshot_window(path, info, env=None, area="window"):
    """Captures the screen area of a window (a WindowInfo) into a PNG file:
    the whole window, or with area="client" its client area only (without
    a window manager nobody draws the frame)."""
    e = env or wine_env()
    left, top, right, bottom = info.client if area == "client" else info.window
    xwd = subprocess.run(["xwd", "-root", "-silent"], env=e, stdout=subprocess.PIPE, check=True).stdout
    subprocess.run(["convert", "xwd:-", "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                    "+repage", path], input=xwd, env=e, check=True)
    return path


def read_pixels(png):
    """(width, height, pixel function (x, y) -> (r, g, b)) of a PNG file."""
    size = subprocess.run(["identify", "-format", "%w %h", png], stdout=subprocess.PIPE, check=True).stdout
    w, h = (int(v) for v in size.split())
    raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], stdout=subprocess.PIPE, check=True).stdout

    def at(x, y):
        i = 3 * (y * w + x)
        return raw[i], raw[i + 1], raw[i + 2]
    return w, h, at


class FakePatchLog:
    """Test-case mixin: `self.log`, a fresh path for the fake patch's record
    (VELDRUN_FAKEPATCH_LOG) in each test, removed after it."""

    def setUp(self):
        super().setUp()
        self.log = tempfile.mktemp(prefix="vdr-fake-")

    def tearDown(self):
        if os.path.exists(self.log):
            os.unlink(self.log)
        super().tearDown()


class ExampleRunCase(unittest.TestCase):
    """Base of the suites that run packages against the Ombrel example: the
    fake patch is the served build (`cls.patch`), and the example's products
    are installed for the suite (unless `install_products` is False) and
    removed after it."""

    install_products = True

    @classmethod
    def setUpClass(cls):
        cls.patch = fakepatch_bytes()
        if cls.install_products:
            example_products()

    @classmethod
    def tearDownClass(cls):
        remove_example_products()
