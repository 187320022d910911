"""The download tests' network parts on their own, without Wine: what the
fault-injecting relay does to each answer of a real nginx, and what nginx
counts as sent. (The https relay and squid as the only way to the origin are
shown by the runs that use them: e2e.resilience, e2e.network.)"""
import os
import shutil
import socket
import sys
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.dirname(__file__))
import netfixtures as nf  # noqa: E402

BODY = os.urandom(1_000_000)
PATH = "/p/0/x.exe"


def fetch(base, path, headers=()):
    """(status, header fields, body) of one GET, read until the server closes."""
    host, port = base.split("://")[1].split(":")
    with socket.create_connection((host, int(port)), timeout=60) as conn:
        conn.sendall(("GET %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n%s\r\n"
                      % (path, "".join(h + "\r\n" for h in headers))).encode())
        data = b"".join(iter(lambda: conn.recv(1 << 16), b""))
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    fields = {k.lower(): v.strip() for k, _, v in (l.partition(":") for l in lines[1:])}
    return int(lines[0].split()[1]), fields, body


class RelayFaults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="vdr-root-")
        os.makedirs(os.path.join(cls.root, "p", "0"))
        with open(os.path.join(cls.root, PATH.lstrip("/")), "wb") as f:
            f.write(BODY)
        cls.origin = nf.Nginx(cls.root).start()

    @classmethod
    def tearDownClass(cls):
        cls.origin.stop()
        shutil.rmtree(cls.root, ignore_errors=True)

    def test_each_fault_changes_the_answer_as_described(self):
        packed = zlib.compressobj(6, zlib.DEFLATED, 31)
        packed = packed.compress(BODY) + packed.flush()
        bomb = (5 << 20) + 123
        # fault, request headers, status, a header (True: present, None: absent), body
        cases = {
            "forwarded, ranges too": ({}, ("Range: bytes=10-",), 206, ("content-range", "bytes 10-999999/1000000"),
                                      BODY[10:]),
            "cut with a close": (dict(cut_after=300_000), (), 200, ("content-length", "1000000"), BODY[:300_000]),
            "cut with a reset": (dict(cut_after=1, reset=True), (), 200, ("content-length", "1000000"), None),
            "503 with Retry-After": (dict(status=503, retry_after="7"), (), 503, ("retry-after", "7"), b"fault\n"),
            "redirect to another host": (dict(status=302, location="http://127.0.0.2:9/x.exe"), (), 302,
                                         ("location", "http://127.0.0.2:9/x.exe"), b"fault\n"),
            "gzip cut, no length": (dict(gzip_cut=0.9, length=False), (), 200, ("content-length", None),
                                    packed[:len(packed) * 9 // 10]),
            "gzip bomb": (dict(gzip_bomb=bomb), (), 200, ("content-encoding", "gzip"), None),
        }
        for name, (fault, headers, status, (field, value), body) in cases.items():
            with self.subTest(name), nf.Relay(self.origin.address) as relay:
                relay.fault(PATH, times=1, **fault)
                try:
                    got = fetch(relay.base, PATH, headers)
                except ConnectionResetError:
                    got = None
                if fault.get("reset"):
                    self.assertTrue(got is None or len(got[2]) <= 1)
                    continue
                self.assertEqual(got[0], status)
                self.assertEqual(field in got[1] if value in (True, None) else got[1].get(field),
                                 value is True if value in (True, None) else value)
                if body is not None:
                    self.assertEqual(got[2], body)
                # Each fault is taken as often as asked, then requests pass.
                self.assertEqual(fetch(relay.base, PATH)[2], BODY)
                self.assertEqual(relay.paths(), [PATH, PATH])
        with nf.Relay(self.origin.address) as relay:
            relay.fault(PATH, gzip_bomb=bomb)
            status, fields, body = fetch(relay.base, PATH)
            self.assertEqual((int(fields["content-length"]), zlib.decompress(body, 31)), (len(body), bytes(bomb)))
            relay.fault("/loop", status=301, location="/loop")
            self.assertEqual(fetch(relay.base, "/loop")[1]["location"], relay.base + "/loop")

    def test_bytes_the_origin_sent_for_a_cut_transfer(self):
        before, logged = self.origin.bytes_sent(), len(self.origin.access())
        with nf.Relay(self.origin.address) as relay:
            relay.fault(PATH, cut_after=100_000)
            fetch(relay.base, PATH)
        self.assertEqual(relay.body_bytes, 100_000)
        self.assertGreaterEqual(self.origin.bytes_sent(requests=logged + 1) - before, 100_000)


if __name__ == "__main__":
    unittest.main()
