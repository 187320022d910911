"""Downloads through real networks and hostile servers: nginx serves the
build behind the fault-injecting relay, which cuts connections, answers
503/429/404, redirects (in a loop, to another host, from https to plain
http) and sends gzip bodies (a bomb, a cut one). Each run's requests are read
back from the relays and nginx's access log, its words from its /log file.
Only folder 0 holds the build: no fallback can make up for a lost download."""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
import netfixtures as nf  # noqa: E402

SR = harness.EXAMPLE_SRNO
BUILD, FALLBACK = "/p/0/%s.exe" % SR, "/p/Max/%s.exe" % SR
MIB = 1 << 20
SIZE = 8 * MIB
ROOTS = "HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\"

# name: (nginx gzip on the fly, relay faults (B: the other relay's base), [SRInfo] lines ({sha}, {size}),
#        exit status, {path: (fewest, most) requests}, words the outcome line holds)
CASES = {
    "cut twice": (False, [dict(path=BUILD, times=2, cut_after=2 * MIB)], "", 0, {BUILD: (3, 3)},
                  ["3 attempts", "resumed at"]),
    "cut twice with a reset": (False, [dict(path=BUILD, times=2, cut_after=2 * MIB, reset=True)], "", 0,
                               {BUILD: (3, 3)}, ["3 attempts", "resumed at"]),
    "503 with Retry-After": (False, [dict(path=BUILD, times=1, status=503, retry_after="1")], "", 0,
                             {BUILD: (2, 2)}, ["2 attempts", "503"]),
    "429": (False, [dict(path=BUILD, times=1, status=429)], "", 0, {BUILD: (2, 2)}, ["2 attempts", "429"]),
    "404": (False, [dict(path=BUILD, status=404)], "", 3, {BUILD: (1, 1), FALLBACK: (1, 1)}, ["404"]),
    # DownloadSeconds bounds a run that follows the loop for good.
    "redirect loop": (False, [dict(path=BUILD, status=302, location=BUILD)], "DownloadSeconds=60\n", 3,
                      {BUILD: (11, 12), FALLBACK: (1, 1)}, ["more than 10 redirects"]),
    "redirect to another host": (False, [dict(path=BUILD, status=302, location="B" + BUILD)], "", 0,
                                 {BUILD: (2, 2)}, ["redirected to B" + BUILD]),
    # 4 GiB of zeros in 4 MiB: the size pin stops it long before its end.
    "gzip bomb": (False, [dict(path=BUILD, gzip_bomb=4 << 30)], "Size0={size}\n", 3, {BUILD: (1, 4)},
                  ["more than the pinned"]),
    "gzip cut at 90 %": (False, [dict(path=BUILD, gzip_cut=0.9)], "", 3, {BUILD: (1, 4)}, ["end unknown"]),
    "whole gzip, pinned": (False, [dict(path=BUILD, gzip_cut=1.0)], "SHA2560={sha}\n", 0, {BUILD: (1, 1)}, []),
    # Under Wine nginx compresses on the fly (see above): only the pin lets it start.
    "nginx gzip on the fly": (True, [], "", 3, {BUILD: (1, 4)}, ["encoded: end unknown"]),
    "nginx gzip on the fly, pinned": (True, [], "SHA2560={sha}\n", 0, {BUILD: (1, 1)}, []),
}


class Resilience(harness.FakePatchLog, harness.ExampleRunCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.work = tempfile.mkdtemp(prefix="vdr-resilience-")
        cls.body = cls.patch + bytes(SIZE - len(cls.patch))
        os.makedirs(os.path.join(cls.work, "root", "p", "0"))
        cls.build = os.path.join(cls.work, "root", BUILD.lstrip("/"))
        with open(cls.build, "wb") as f:
            f.write(cls.body)
        # The https relay's certificate, trusted as a root by the prefix user.
        cls.cert = nf.make_certificate(cls.work)
        der = subprocess.run(["openssl", "x509", "-in", cls.cert[0], "-outform", "DER"], check=True,
                             capture_output=True).stdout
        cls.root_key = ROOTS + hashlib.sha1(der).hexdigest().upper()
        blob = struct.pack("<III", 32, 1, len(der)) + der  # the certificate, serialized as one property
        harness.reg_import('Windows Registry Editor Version 5.00\n\n[%s]\n"Blob"=hex:%s\n'
                           % (cls.root_key, ",".join("%02x" % b for b in blob)))

    @classmethod
    def tearDownClass(cls):
        harness.reg_import("Windows Registry Editor Version 5.00\n\n[-%s]\n" % cls.root_key)
        shutil.rmtree(cls.work, ignore_errors=True)
        super().tearDownClass()

    def run_through(self, base, ini_lines=""):
        """A silent, waiting run of a package whose builds are below `base`:
        (Run, its outcome line from its /log file, what the patch recorded)."""
        ini = harness.folder_ini(base + "/p", 0).replace("[SRInfo]\n", "[SRInfo]\n" + ini_lines)
        pkg = harness.Package(ini)
        self.addCleanup(pkg.remove)
        log = os.path.join(self.work, "run.log")
        folders = (harness.temp_dir(), harness.run_root())
        before = [set(os.listdir(f)) for f in folders]
        r = pkg.run(["/s", "/w", "/log", harness.winepath(log)], env=harness.fakepatch_env(self.log), timeout=300)
        # Nothing of the run stays behind, whatever the server sent.
        self.assertEqual([set(), set()], [set(os.listdir(f)) - b for f, b in zip(folders, before)])
        with open(log, encoding="utf-8", errors="replace") as f:
            outcome = next((l for l in f if "[Veldrun] Outcome:" in l), "(no outcome line)")
        os.unlink(log)
        starts = harness.read_fakepatch(self.log)
        if os.path.exists(self.log):
            os.unlink(self.log)
        return r, outcome, starts

    def test_each_fault_ends_as_its_answer_allows(self):
        etag = '"%x-%x"' % (int(os.stat(self.build).st_mtime), SIZE)
        for name, (gzip, faults, ini, rc, counts, words) in CASES.items():
            root = os.path.join(self.work, "root")
            with self.subTest(name), nf.Nginx(root, gzip=gzip, sndbuf=64 << 10) as origin, \
                    nf.Relay(origin.address, upstream_buffer=64 << 10) as relay, \
                    nf.Relay(origin.address, host="127.0.0.2") as other:
                for fault in faults:
                    loc = fault.get("location")
                    relay.fault(**dict(fault, location=loc and re.sub("^B", other.base, loc)))
                r, outcome, starts = self.run_through(relay.base, ini.format(
                    sha=hashlib.sha256(self.body).hexdigest(), size=SIZE))
                self.assertEqual(rc, r.rc, (outcome, r))
                self.assertEqual(1 if rc == 0 else 0, len(starts), outcome)
                for word in words:
                    self.assertIn(word.replace("B/", other.base + "/"), outcome)
                paths = relay.paths() + other.paths()
                for path, (fewest, most) in counts.items():
                    self.assertTrue(fewest <= paths.count(path) <= most, (path, paths, outcome))
                asked = relay.requests + other.requests
                # A later request for a build partly held asks for the rest of that file.
                ranged = [q["headers"] for q in asked[1:] if name.startswith("cut")]
                self.assertTrue(all(re.fullmatch(r"bytes=[1-9]\d*-", h.get("range", "")) and
                                    h.get("if-range") == etag for h in ranged), ranged)
                # What nginx sent, once it logged each request that reached it.
                sent = origin.bytes_sent(requests=len([q for q in asked if not q["done"].startswith(
                    ("status", "gzip bomb"))]))
                if name.startswith("cut"):
                    # A reset also throws away what the client had not read yet: at most each cut.
                    self.assertLessEqual(sent, 1.1 * SIZE + ("reset" in name) * 2 * 2 * MIB, origin.access())
                if name == "gzip bomb":
                    # Stopped as the decoded bytes passed the pin: not written on, nor read to the bomb's end.
                    stopped = re.findall(r"stopped after (\d+) bytes", outcome)
                    self.assertTrue(stopped and all(int(n) <= SIZE + MIB for n in stopped), outcome)
                    self.assertLess(relay.body_bytes, 3 * MIB)
                if gzip:  # the case is what it says: nginx did compress the build
                    self.assertLess(sent, SIZE, origin.access())
                # Every request says who asks. (It asks for identity too, but under Wine
                # WinINet's decoding puts its own Accept-Encoding in its place.)
                self.assertEqual([], [q["headers"] for q in asked if
                                      not q["headers"].get("user-agent", "").startswith("Veldrun/")])

    def test_https_answer_that_redirects_to_plain_http_is_refused(self):
        with nf.Nginx(os.path.join(self.work, "root")) as origin, \
                nf.Relay(origin.address, tls=self.cert) as secure, nf.Relay(origin.address) as plain:
            for path in (BUILD, FALLBACK):
                secure.fault(path, status=302, location=plain.base + path)
            r, outcome, starts = self.run_through("https://localhost:%d" % secure.port)
            self.assertEqual(3, r.rc, (outcome, r))
            self.assertEqual([BUILD, FALLBACK], secure.paths())
            self.assertEqual([], plain.paths(), outcome)
            self.assertEqual([], starts)
            self.assertEqual(2, outcome.count("https to http refused"), outcome)


if __name__ == "__main__":
    unittest.main()
