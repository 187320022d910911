"""Real network parts for the download tests: nginx serving the builds (it
answers ranges itself), squid as the proxy, and a fault-injecting relay in
front of either that cuts connections, answers 503 with Retry-After,
redirects, and serves gzip bodies that inflate to far more than they weigh
or end too early. All listen on loopback only, on free ports, with their
prefixes in the build tree; every start and stop is bounded.

    with Nginx(root) as origin, Relay(origin.address) as relay:
        relay.fault("/p/0/x.exe", cut_after=8 << 20)
        ... fetch relay.base + "/p/0/x.exe" ...
        origin.bytes_sent()      # what nginx sent, from its access log
"""

import os
import shutil
import signal
import socket
import socketserver
import ssl
import struct
import subprocess
import tempfile
import threading
import time
import zlib

BUILD = os.environ.get("VELDRUN_BUILD", "")

# How long a fixture may take to come up or go down, and how long one
# socket operation may block (a client that stops reading ends its relay).
START_SECONDS = 60.0
SOCKET_SECONDS = 60.0
MAX_HEAD = 64 * 1024
MAX_GZIP_SOURCE = 256 << 20


def fixture_dir(kind):
    """A fresh folder for a fixture's prefix: in the build tree when there
    is one (the tests' own place), else in the system's temporary one."""
    base = os.path.join(BUILD, "netfixtures") if BUILD else None
    if base:
        os.makedirs(base, exist_ok=True)
    return tempfile.mkdtemp(prefix=kind + "-", dir=base)


def free_port(host="127.0.0.1"):
    """A port nobody listens on at `host` now (the caller binds it soon; a
    fixture that loses the race tries another)."""
    with socket.socket() as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def wait_port(host, port, alive, timeout=START_SECONDS):
    """True once (host, port) accepts a connection; False when `alive()`
    says the server ended, or `timeout` seconds passed first."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if not alive():
            return False
        try:
            with socket.create_connection((host, port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def stop_process(proc, sig=signal.SIGTERM, timeout=30):
    if proc.poll() is None:
        proc.send_signal(sig)
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class _Daemon:
    """A server program started in its own prefix on a free port: `command`
    gives its command line for a port; ready when the port answers. A start
    whose port was taken meanwhile is tried again with another (at most five
    times); any other failure raises with the program's log."""

    host = "127.0.0.1"
    log_name = "error.log"

    def start(self):
        for _ in range(5):
            self.port = free_port(self.host)
            cmd = self.command(self.port)
            self.out = open(os.path.join(self.prefix, "stdout"), "wb")
            self.proc = subprocess.Popen(cmd, stdout=self.out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
            if wait_port(self.host, self.port, lambda: self.proc.poll() is None):
                return self
            stop_process(self.proc)
            self.out.close()
            said = self.said()
            if "in use" not in said:
                raise RuntimeError("%s did not start: %s" % (cmd[0], said[-2000:]))
        raise RuntimeError("%s found no free port" % cmd[0])

    def said(self):
        text = ""
        for name in ("stdout", self.log_name):
            path = os.path.join(self.prefix, name)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    text += f.read().decode("utf-8", "replace")
        return text

    @property
    def address(self):
        return (self.host, self.port)

    @property
    def base(self):
        return "http://%s:%d" % self.address

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        """Ends the server and removes its prefix (read its logs before)."""
        stop_process(self.proc)
        self.out.close()
        shutil.rmtree(self.prefix, ignore_errors=True)


class Nginx(_Daemon):
    """nginx serving the files below `root` (ranges, ETag and Last-Modified
    as it always does; gzip on the fly for every type when `gzip`, https
    with `tls` = (certificate, key); `sndbuf`: its sockets' send buffer, so
    that what it counts as sent is near what left the machine's buffers). One process, run as the test's user,
    with its configuration, logs and temporary folders in its prefix. The
    access log records each request with the bytes nginx sent for it."""

    def __init__(self, root, host="127.0.0.1", gzip=False, tls=None, sndbuf=None):
        self.root, self.host, self.gzip, self.tls = os.path.abspath(root), host, gzip, tls
        self.sndbuf = sndbuf
        self.prefix = fixture_dir("nginx")

    def command(self, port):
        p = self.prefix
        listen = "%s:%d%s%s" % (self.host, port, " ssl" if self.tls else "",
                                " sndbuf=%d" % self.sndbuf if self.sndbuf else "")
        tls = ("ssl_certificate %s; ssl_certificate_key %s;" % self.tls) if self.tls else ""
        gzip = "gzip on; gzip_types *; gzip_min_length 0; gzip_proxied any;" if self.gzip else "gzip off;"
        conf = os.path.join(p, "nginx.conf")
        with open(conf, "w") as f:
            f.write("""daemon off;
master_process off;
worker_processes 1;
pid %(p)s/nginx.pid;
error_log %(p)s/error.log;
events { worker_connections 128; }
http {
    log_format sent '$request_method $request_uri $status $bytes_sent "$http_range" "$http_user_agent"';
    access_log %(p)s/access.log sent;
    client_body_temp_path %(p)s/body;
    proxy_temp_path %(p)s/proxy;
    fastcgi_temp_path %(p)s/fastcgi;
    uwsgi_temp_path %(p)s/uwsgi;
    scgi_temp_path %(p)s/scgi;
    default_type application/octet-stream;
    types { }
    sendfile on;
    server {
        listen %(listen)s;
        root %(root)s;
        %(tls)s
        %(gzip)s
    }
}
""" % dict(p=p, listen=listen, root=self.root, tls=tls, gzip=gzip))
        return ["/usr/sbin/nginx", "-p", p + "/", "-c", conf, "-e", os.path.join(p, "error.log")]

    @property
    def base(self):
        return "%s://%s:%d" % ("https" if self.tls else "http", self.host, self.port)

    def access(self):
        """The access log's lines as (method, uri, status, bytes sent,
        Range, User-Agent); a request appears once nginx has finished it."""
        path = os.path.join(self.prefix, "access.log")
        if not os.path.exists(path):
            return []
        rows = []
        with open(path, encoding="latin-1") as f:
            for line in f:
                head, _, quoted = line.partition(' "')
                method, uri, status, sent = head.split()
                rng, _, agent = quoted.rstrip('"\n').partition('" "')
                rows.append((method, uri, int(status), int(sent), "" if rng == "-" else rng, agent))
        return rows

    def bytes_sent(self, requests=None, timeout=60.0):
        """The bytes nginx sent, headers included, over all requests; with
        `requests`, first waits (bounded) until that many are logged (a cut
        connection is logged once nginx noticed it)."""
        if requests:
            deadline = time.time() + timeout
            while len(self.access()) < requests and time.time() < deadline:
                time.sleep(0.05)
        return sum(row[3] for row in self.access())


class Squid(_Daemon):
    """squid as a caching-off HTTP proxy on loopback. Its own connections to
    servers leave from `outgoing` (127.0.0.5), so that a Relay with
    allow_from=squid.outgoing serves only what came through the proxy."""

    outgoing = "127.0.0.5"
    log_name = "cache.log"

    def __init__(self):
        self.prefix = fixture_dir("squid")
        if os.geteuid() == 0:
            # squid as root takes the user "proxy" for its work: its logs
            # must stay writable.
            import pwd
            proxy = pwd.getpwnam("proxy")
            os.chown(self.prefix, proxy.pw_uid, proxy.pw_gid)

    def command(self, port):
        p = self.prefix
        conf = os.path.join(p, "squid.conf")
        with open(conf, "w") as f:
            f.write("""http_port %(host)s:%(port)d
acl loop src 127.0.0.0/8
http_access allow loop
http_access deny all
cache deny all
cache_mem 8 MB
tcp_outgoing_address %(out)s
pid_filename %(p)s/squid.pid
cache_log %(p)s/cache.log
access_log stdio:%(p)s/access.log squid
netdb_filename none
coredump_dir %(p)s
shutdown_lifetime 0 seconds
dns_nameservers 127.0.0.1
""" % dict(host=self.host, port=port, out=self.outgoing, p=p))
        return ["/usr/sbin/squid", "-N", "-f", conf]

    def requests(self):
        """The URLs squid was asked for, from its access log."""
        path = os.path.join(self.prefix, "access.log")
        if not os.path.exists(path):
            return []
        with open(path, encoding="latin-1") as f:
            return [line.split()[6] for line in f if len(line.split()) > 6]


# ------------------------------------------------------------------ relay

class Fault:
    """What the relay does instead of (or to) forwarding a request for
    `path` (None: any path), the first `times` times (None: always).

    cut_after=N: forward, but end the connection after N body bytes (with a
    reset when `reset`, else a plain close). status=S: answer S itself,
    with Retry-After when `retry_after` and Location when `location` (a
    redirect; a location without a scheme is made absolute on this relay).
    gzip_bomb=N: answer 200 with a gzip body that inflates to N zero bytes,
    generated as it goes. gzip_cut=F: fetch the real body, answer it
    gzip-encoded and end after the fraction F of it. `length`: send
    Content-Length (else the body ends when the connection does)."""

    def __init__(self, path=None, times=None, cut_after=None, reset=False, status=None, retry_after=None,
                 location=None, gzip_bomb=None, gzip_cut=None, length=True):
        self.path, self.times = path, times
        self.cut_after, self.reset = cut_after, reset
        self.status, self.retry_after, self.location = status, retry_after, location
        self.gzip_bomb, self.gzip_cut, self.length = gzip_bomb, gzip_cut, length


def gzip_zeros(size, chunk=1 << 20):
    """(length, pieces) of a gzip stream of `size` zero bytes, made as it is
    read: the deflate output for one chunk of zeros after a full flush is the
    same every time, so only the CRC is computed per chunk."""
    c = zlib.compressobj(9, zlib.DEFLATED, 31)
    zeros = bytes(chunk)
    first = c.compress(zeros) + c.flush(zlib.Z_FULL_FLUSH)
    block = c.compress(zeros) + c.flush(zlib.Z_FULL_FLUSH)
    assert block == c.compress(zeros) + c.flush(zlib.Z_FULL_FLUSH)
    full, rest = divmod(size, chunk)
    tail_block = b""
    if rest:
        # After a full flush nothing refers back: a fresh raw deflater goes on.
        t = zlib.compressobj(9, zlib.DEFLATED, -15)
        tail_block = t.compress(bytes(rest)) + t.flush(zlib.Z_FULL_FLUSH)
    if full == 0:
        return _gzip_small(size)

    def pieces():
        crc = 0
        for i in range(full):
            crc = zlib.crc32(zeros, crc)
            yield first if i == 0 else block
        if rest:
            crc = zlib.crc32(bytes(rest), crc)
            yield tail_block
        # An empty final block (fixed codes, end of block), CRC-32, size.
        yield b"\x03\x00" + struct.pack("<II", crc, size & 0xFFFFFFFF)
    return len(first) + (full - 1) * len(block) + len(tail_block) + 10, pieces()


def _gzip_small(size):
    body = zlib.compressobj(9, zlib.DEFLATED, 31)
    data = body.compress(bytes(size)) + body.flush()
    return len(data), iter([data])


class Relay:
    """A fault-injecting HTTP relay on loopback in front of `upstream`
    (host, port) of a real server. Each request is forwarded with
    "Connection: close" unless a Fault (added with fault()) matches it.
    With `allow_from`, a client from another address gets 403 (so the origin
    is reachable only through a proxy that connects from there). `tls` =
    (certificate, key) makes it an https relay. It records each request
    (`requests`: method, path, headers with lower-case names, peer, what was
    done) and counts bytes it read from upstream and body bytes it sent.
    `upstream_buffer`: the receive buffer towards upstream (bytes), so that
    a cut connection leaves little that upstream sent in between."""

    def __init__(self, upstream, host="127.0.0.1", allow_from=None, tls=None, upstream_buffer=None):
        self.upstream, self.host, self.allow_from = upstream, host, allow_from
        self.upstream_buffer = upstream_buffer
        self.faults = []
        self.requests = []
        self.upstream_bytes = 0
        self.body_bytes = 0
        self.lock = threading.Lock()
        self.tls = None
        if tls:
            self.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.tls.load_cert_chain(*tls)
        owner = self

        class Handler(socketserver.BaseRequestHandler):
            def handle(self):
                conn = self.request
                conn.settimeout(SOCKET_SECONDS)
                try:
                    if owner.tls:
                        conn = owner.tls.wrap_socket(conn, server_side=True)
                    owner._serve(conn, self.client_address[0])
                except (OSError, ssl.SSLError, ValueError):
                    pass
                finally:
                    conn.close()

        class Server(socketserver.ThreadingTCPServer):
            daemon_threads = True
            allow_reuse_address = True

        self.server = Server((host, 0), Handler)
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)

    @property
    def base(self):
        return "%s://%s:%d" % ("https" if self.tls else "http", self.host, self.port)

    def fault(self, path=None, **how):
        f = Fault(path, **how)
        with self.lock:
            self.faults.append(f)
        return f

    def paths(self):
        with self.lock:
            return [r["path"] for r in self.requests]

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()

    # -------------------------------------------------------------- inside

    def _take_fault(self, path):
        with self.lock:
            for f in self.faults:
                if (f.path is None or f.path == path) and (f.times is None or f.times > 0):
                    if f.times is not None:
                        f.times -= 1
                    return f
        return None

    def _serve(self, conn, peer):
        head = _read_head(conn)
        if head is None:
            return
        lines = head.decode("latin-1").split("\r\n")
        method, target, _ = (lines[0].split(" ", 2) + ["", ""])[:3]
        headers = {}
        for line in lines[1:]:
            name, sep, value = line.partition(":")
            if sep:
                headers[name.strip().lower()] = value.strip()
        path = target
        if "://" in target:  # absolute form, as a proxy is asked
            path = "/" + target.split("://", 1)[1].partition("/")[2]
        record = {"method": method, "path": path, "headers": headers, "peer": peer, "done": "forwarded"}
        with self.lock:
            self.requests.append(record)
        if self.allow_from and peer not in ([self.allow_from] if isinstance(self.allow_from, str) else
                                            self.allow_from):
            record["done"] = "refused"
            _answer(conn, 403, b"direct access refused\n")
            return
        fault = self._take_fault(path)
        if fault and fault.status:
            record["done"] = "status %d" % fault.status
            extra = []
            if fault.retry_after is not None:
                extra.append("Retry-After: %s" % fault.retry_after)
            if fault.location is not None:
                loc = fault.location if "://" in fault.location else self.base + fault.location
                extra.append("Location: %s" % loc)
            _answer(conn, fault.status, b"fault\n", extra)
            return
        if fault and fault.gzip_bomb:
            record["done"] = "gzip bomb"
            length, pieces = gzip_zeros(fault.gzip_bomb)
            self._send_body(conn, length if fault.length else None, pieces)
            return
        if fault and fault.gzip_cut:
            record["done"] = "gzip cut"
            status, body = self._fetch_whole(method, path, headers)
            c = zlib.compressobj(6, zlib.DEFLATED, 31)
            packed = c.compress(body) + c.flush() if status == 200 else body
            cut = int(len(packed) * fault.gzip_cut)
            self._send_body(conn, len(packed) if fault.length else None, iter([packed[:cut]]))
            return
        cut = fault.cut_after if fault else None
        if cut is not None:
            record["done"] = "cut after %d" % cut
        self._forward(conn, head, lines, cut, fault.reset if fault else False)

    def _send_body(self, conn, length, pieces):
        head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Encoding: gzip\r\n"
        if length is not None:
            head += "Content-Length: %d\r\n" % length
        conn.sendall((head + "Connection: close\r\n\r\n").encode("latin-1"))
        for piece in pieces:
            conn.sendall(piece)
            with self.lock:
                self.body_bytes += len(piece)

    def _upstream_request(self, lines):
        kept = [l for l in lines[1:] if l and l.split(":", 1)[0].strip().lower() not in
                ("connection", "keep-alive", "proxy-connection")]
        method, target, version = (lines[0].split(" ", 2) + ["", ""])[:3]
        if "://" in target:
            target = "/" + target.split("://", 1)[1].partition("/")[2]
        return ("\r\n".join(["%s %s %s" % (method, target, version)] + kept + ["Connection: close", "", ""])
                ).encode("latin-1")

    def _connect(self):
        up = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if self.upstream_buffer:
            up.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, self.upstream_buffer)
        up.settimeout(SOCKET_SECONDS)
        try:
            up.connect(self.upstream)
        except OSError:
            up.close()
            raise
        return up

    def _fetch_whole(self, method, path, headers):
        with self._connect() as up:
            up.sendall(("GET %s HTTP/1.0\r\nHost: %s:%d\r\nAccept-Encoding: identity\r\n\r\n"
                        % (path, self.upstream[0], self.upstream[1])).encode("latin-1"))
            data = b""
            while len(data) < MAX_GZIP_SOURCE:
                got = up.recv(1 << 16)
                if not got:
                    break
                data += got
        with self.lock:
            self.upstream_bytes += len(data)
        head, _, body = data.partition(b"\r\n\r\n")
        return int(head.split(b" ", 2)[1]), body

    def _forward(self, conn, head, lines, cut, reset):
        with self._connect() as up:
            up.sendall(self._upstream_request(lines))
            answer_head = b""
            sent = 0
            while True:
                got = up.recv(1 << 16)
                if not got:
                    break
                with self.lock:
                    self.upstream_bytes += len(got)
                if answer_head is not None:
                    answer_head += got
                    end = answer_head.find(b"\r\n\r\n")
                    if end < 0:
                        if len(answer_head) > MAX_HEAD:
                            return
                        continue
                    conn.sendall(answer_head[:end + 4])
                    got, answer_head = answer_head[end + 4:], None
                if cut is not None and sent + len(got) >= cut:
                    conn.sendall(got[:cut - sent])
                    with self.lock:
                        self.body_bytes += cut - sent
                    if reset:
                        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    return
                conn.sendall(got)
                sent += len(got)
                with self.lock:
                    self.body_bytes += len(got)


def _read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        got = conn.recv(4096)
        if not got or len(data) > MAX_HEAD:
            return None
        data += got
    return data[:data.index(b"\r\n\r\n")]


def _answer(conn, status, body, extra=()):
    reason = {301: "Moved Permanently", 302: "Found", 307: "Temporary Redirect", 403: "Forbidden",
              408: "Request Timeout", 429: "Too Many Requests", 503: "Service Unavailable"}.get(status, "Status")
    head = ["HTTP/1.1 %d %s" % (status, reason), "Content-Type: text/plain", "Content-Length: %d" % len(body),
            "Connection: close"] + list(extra)
    conn.sendall(("\r\n".join(head) + "\r\n\r\n").encode("latin-1") + body)


# -------------------------------------------------------------- helpers

def make_certificate(folder, names=("localhost",), addresses=("127.0.0.1",)):
    """A throwaway self-signed certificate for `names` and `addresses`;
    returns (certificate, key) paths in `folder`."""
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    alt = ",".join(["DNS:%s" % n for n in names] + ["IP:%s" % a for a in addresses])
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=%s" % names[0], "-addext", "subjectAltName=%s" % alt],
                   check=True, capture_output=True)
    return cert, key


INTERNET_SETTINGS = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"


def wininet_proxy(server=None):
    """Sets the prefix user's WinINet proxy (what a run as that user uses)
    to `server` ("127.0.0.1:3128"), or turns it off with None. Loopback is
    proxied too ("<-loopback>"): the test's servers all sit on it."""
    import harness
    if server:
        values = ['"ProxyEnable"=dword:00000001', '"ProxyServer"="%s"' % server, '"ProxyOverride"="<-loopback>"']
    else:
        values = ['"ProxyEnable"=dword:00000000', '"ProxyServer"=-', '"ProxyOverride"=-']
    harness.reg_import("Windows Registry Editor Version 5.00\n\n[%s]\n%s\n" % (INTERNET_SETTINGS, "\n".join(values)))
