"""Integrity pins end to end: the pins vdrpack writes into the patch
information file decide whether a downloaded build is started. A build whose
SHA-256 matches its folder's pin is started; one that does not is removed,
never started, and the run falls back to the Max folder as for a missing
file (or ends with the server error when no fallback is left)."""
import hashlib
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO
HOST_VDRPACK = os.path.join(harness.BUILD, "..", "host", "tools", "vdrpack")
PATCHED_DISC = ("Ombrel Disc Studio", "4.0", SR, "4.00.2400")


class Pins(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.patch = harness.fakepatch_bytes()
        # Another build of the same size: only its digest tells it apart.
        cls.other = b"MZ" + b"t" * (len(cls.patch) - 2)

    def pinned_ini(self, base, pins):
        """The Ombrel example's file with pins written by vdrpack: pins maps
        a pin option ("--build 0", "--max") to the bytes pinned."""
        if not os.path.exists(HOST_VDRPACK):
            self.fail("the host build's vdrpack is missing: run make build-host first")
        work = tempfile.mkdtemp(prefix="vdr-pin-")
        ini = os.path.join(work, "patch.ini")
        with open(ini, "w", newline="\r\n") as f:
            f.write(harness.example_ini(base))
        for option, data in pins.items():
            build = os.path.join(work, "build.exe")
            with open(build, "wb") as f:
                f.write(data)
            p = subprocess.run([HOST_VDRPACK, "pin", ini] + option.split() + [build], capture_output=True)
            self.assertEqual(p.returncode, 0, p.stderr)
        with open(ini, newline="") as f:
            text = f.read().replace("\r\n", "\n")  # Package writes CR LF itself
        for name in os.listdir(work):
            os.unlink(os.path.join(work, name))
        os.rmdir(work)
        return text

    def run_pinned(self, pins, disc=None):
        harness.example_products(*((disc,) if disc else ()))
        log = tempfile.mktemp(prefix="vdr-fake-")
        with harness.PatchServer() as server:
            base = server.base + "/patch/417"
            for folder in ("0", "max", "Max"):
                server.routes["/patch/417/%s/%s.exe" % (folder, SR)] = harness.Route(self.patch)
            pkg = harness.Package(self.pinned_ini(base, pins))
            try:
                r = pkg.run(["/s"], env=harness.fakepatch_env(log))
            finally:
                pkg.remove()
            requests = list(server.requests)
        # A patch started without /w may still be starting when the run ends.
        starts = harness.read_fakepatch(log, count=harness.patch_started(r))
        if os.path.exists(log):
            os.unlink(log)
        return r, requests, starts

    def local_paths(self, r):
        prefix = "[Veldrun] updateDownloadURL => Local path: "
        return [t[len(prefix):].rstrip("\n") for t in r.traces if t.startswith(prefix)]

    def test_matching_pin_starts_the_build(self):
        r, requests, starts = self.run_pinned({"--build 0": self.patch, "--max": self.patch})
        self.assertEqual(0, r.rc, r)
        self.assertEqual(["/patch/417/0/%s.exe" % SR], requests)
        self.assertEqual(1, len(starts), starts)
        self.assertIn("[Veldrun] checkDownloadPin => pin SHA2560 matched\n", r.traces)

    def test_mismatch_is_removed_never_started_and_falls_back(self):
        r, requests, starts = self.run_pinned({"--build 0": self.other, "--max": self.patch})
        self.assertEqual(0, r.rc, r)
        self.assertEqual(["/patch/417/0/%s.exe" % SR, "/patch/417/Max/%s.exe" % SR], requests)
        self.assertEqual(1, len(starts), starts)
        first, second = self.local_paths(r)
        self.assertIn(second, starts[0]["cmdline"])
        self.assertNotIn(first, starts[0]["cmdline"])
        self.assertFalse(os.path.exists(harness.unix_path(first)), "the mismatched download stays behind")
        want = hashlib.sha256(self.other).hexdigest()
        got = hashlib.sha256(self.patch).hexdigest()
        self.assertIn("[Veldrun] checkDownloadPin => pin SHA2560 did not match: expected %s, got %s\n" % (want, got),
                      r.traces)
        self.assertIn("[Veldrun] checkDownloadPin => pin SHA256Max matched\n", r.traces)

    def test_no_matching_build_ends_in_the_server_error(self):
        r, requests, starts = self.run_pinned({"--build 0": self.other, "--max": self.other})
        self.assertEqual(3, r.rc, r)
        self.assertEqual(2, len(requests), requests)
        self.assertEqual([], starts)
        # The generic build has no fallback.
        r, requests, starts = self.run_pinned({"--max": self.other}, disc=PATCHED_DISC)
        self.assertEqual(3, r.rc, r)
        self.assertEqual(["/patch/417/max/%s.exe" % SR], requests)
        self.assertEqual([], starts)

    def test_without_any_pin_nothing_changes(self):
        r, requests, starts = self.run_pinned({})
        self.assertEqual(0, r.rc, r)
        self.assertEqual(["/patch/417/0/%s.exe" % SR], requests)
        self.assertEqual(1, len(starts), starts)
        self.assertFalse(any("checkDownloadPin" in t for t in r.traces), r.traces)


if __name__ == "__main__":
    unittest.main()
