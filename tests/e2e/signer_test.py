"""[SRInfo] Signer end to end: the fake patch signed with osslsigncode by two
throwaway certificates (A, the package's; B, another publisher's), unsigned,
and signed then changed by one byte. Only a valid signature by the certificate
asked for is started; any other build is removed unstarted (fallback, then
exit 3). Wine trusts any root, so these runs show the certificate comparison.
The host's vdrpack signer reads the same files."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO
HOST_VDRPACK = os.path.join(harness.BUILD, "..", "host", "tools", "vdrpack")


def make_certificate(work, name):
    """A self-signed code-signing certificate: (cert, key, SHA-256 of its DER)."""
    key, cert = os.path.join(work, name + ".key"), os.path.join(work, name + ".crt")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/O=Ombrel Test %s/CN=Ombrel Code Signing %s" % (name, name),
                    "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
    der = subprocess.run(["openssl", "x509", "-in", cert, "-outform", "DER"], check=True, capture_output=True).stdout
    return cert, key, hashlib.sha256(der).hexdigest()


def sign(certificate, unsigned, signed):
    subprocess.run(["osslsigncode", "sign", "-certs", certificate[0], "-key", certificate[1], "-in", unsigned,
                    "-out", signed], check=True, capture_output=True)


class Signer(harness.FakePatchLog, harness.ExampleRunCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.work = tempfile.mkdtemp(prefix="vdr-signer-")
        cls.a, cls.b = make_certificate(cls.work, "A"), make_certificate(cls.work, "B")
        cls.files = {name: os.path.join(cls.work, name + ".exe") for name in ("unsigned", "A", "B", "changed")}
        with open(cls.files["unsigned"], "wb") as f:
            f.write(cls.patch)
        sign(cls.a, cls.files["unsigned"], cls.files["A"])
        sign(cls.b, cls.files["unsigned"], cls.files["B"])
        with open(cls.files["A"], "rb") as f, open(cls.files["changed"], "wb") as out:
            changed = bytearray(f.read())
            changed[0x400] ^= 1  # code, inside the signed digest
            out.write(changed)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)
        super().tearDownClass()

    def served(self, name):
        with open(self.files[name], "rb") as f:
            return harness.Route(f.read())

    def run_package(self, signer, first, fallback=None, package_cert=None):
        """A silent run of a package (signed with package_cert, or unsigned)
        whose patch information file carries Signer=signer; folder 0 serves
        the build named first, Max the one named fallback (404 without)."""
        with harness.PatchServer() as server:
            base = server.base + "/patch/417"
            server.routes["/patch/417/0/%s.exe" % SR] = self.served(first)
            if fallback:
                server.routes["/patch/417/Max/%s.exe" % SR] = self.served(fallback)
            ini = harness.example_ini(base).replace("[SRInfo]\n", "[SRInfo]\nSigner=%s\n" % signer)
            pkg = harness.Package(ini)
            try:
                if package_cert:
                    signed = os.path.join(pkg.dir, "signed.exe")
                    sign(package_cert, pkg.exe, signed)
                    pkg.exe = signed
                # The outcome line is longer than the debugger output shows: read from the run's log.
                runlog = os.path.join(pkg.dir, "run.log")
                r = pkg.run(["/s", "/log", harness.winepath(runlog)], env=harness.fakepatch_env(self.log))
                with open(runlog, encoding="utf-8") as f:
                    r.outcome = [t for t in f.read().splitlines() if " [Veldrun] Outcome: " in t]
            finally:
                pkg.remove()
            requests = list(server.requests)
        for _ in range(50 if r.rc == 0 else 0):  # a patch started without /w may still be starting
            if os.path.exists(self.log):
                break
            time.sleep(0.1)
        starts = harness.read_fakepatch(self.log)
        if os.path.exists(self.log):
            os.unlink(self.log)
        self.assertEqual(1, len(r.outcome), r.traces)
        return r, requests, starts, r.outcome[0]

    def test_package_signer_starts_only_the_patch_signed_alike(self):
        other = "signed by another publisher: CN=Ombrel Code Signing B, O=Ombrel Test B"
        cases = [  # first build, fallback build, exit status, started, verdicts in the outcome line
            ("A", None, 0, True, ["signer matched"]),
            ("B", "A", 0, True, [other + " (file removed)", "signer matched"]),
            ("unsigned", "changed", 3, False, ["unsigned (file removed)", "signature invalid (file removed)"]),
        ]
        for first, fallback, status, started, verdicts in cases:
            with self.subTest(first=first, fallback=fallback):
                r, requests, starts, line = self.run_package("package", first, fallback, package_cert=self.a)
                self.assertEqual((status, len(verdicts), int(started)), (r.rc, len(requests), len(starts)), r)
                for verdict in verdicts:
                    self.assertIn(verdict, line)
                self.assertIn("[Veldrun] Signer => package signed by CN=Ombrel Code Signing A, O=Ombrel Test A "
                              "(%s)\n" % self.a[2], r.traces)
                # A refused download is gone, never left to be started later.
                prefix = "[Veldrun] updateDownloadURL => Local path: "
                paths = [t[len(prefix):].rstrip("\n") for t in r.traces if t.startswith(prefix)]
                for path in paths[:len(paths) - (1 if started else 0)]:
                    self.assertFalse(os.path.exists(harness.unix_path(path)), path)

    def test_named_certificate_from_an_unsigned_package(self):
        for first, status, started in (("B", 3, False), ("A", 0, True)):
            with self.subTest(first=first):
                r, requests, starts, line = self.run_package(self.a[2], first)
                self.assertEqual((status, int(started)), (r.rc, len(starts)), r)
                self.assertIn("signer matched" if started else "signed by another publisher", line)

    def test_package_signer_with_an_unsigned_package_is_the_patch_error_before_any_download(self):
        r, requests, starts, line = self.run_package("package", "A")
        self.assertEqual((2, [], []), (r.rc, requests, starts), r)
        self.assertTrue(any(t.startswith("[Veldrun] Signer => the package is not signed") for t in r.traces), r.traces)
        self.assertIn("Signer=package, but the package carries no valid signature", line)

    def test_the_check_reads_the_held_file_and_vdrpack_the_same_certificates(self):
        # sigprobe holds the second file and names the first: the verdict is
        # the held file's.
        w = {k: harness.winepath(v) for k, v in self.files.items()}
        args = [self.a[2], w["A"], w["B"], w["unsigned"], w["changed"], w["A"] + "=" + w["unsigned"],
                w["unsigned"] + "=" + w["A"]]
        r = harness.run(harness.tool("sigprobe"), args, env=harness.wine_env())
        verdicts = [line.split(" verdict=")[1].split(" ")[0] for line in r.stdout.splitlines()]
        self.assertEqual(["1", "4", "2", "3", "2", "1"], verdicts, r.stdout)
        self.assertIn("[Veldrun] checkPatchSigner => WinVerifyTrust: 0x800B0100\n", r.traces)  # TRUST_E_NOSIGNATURE
        self.assertIn("[Veldrun] checkPatchSigner => WinVerifyTrust: 0x80096010\n", r.traces)  # TRUST_E_BAD_DIGEST
        for name, status, digest in (("A", 0, self.a[2]), ("B", 0, self.b[2]), ("unsigned", 4, None),
                                     ("changed", 0, self.a[2])):
            p = subprocess.run([HOST_VDRPACK, "signer", self.files[name]], capture_output=True, text=True)
            self.assertEqual(status, p.returncode, (name, p.stderr))
            if digest:
                self.assertIn("Signer=%s\n" % digest, p.stdout)


if __name__ == "__main__":
    unittest.main()
