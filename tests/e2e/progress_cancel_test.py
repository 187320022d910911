"""Progress of a slow download (status codes, bar position, screenshot), a
download without a length, and Cancel in the middle of a download."""
import hashlib
import os
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO
PATH = "/p/0/%s.exe" % SR


def progress_codes(run):
    prefix = "CBSCallbackImpl::OnProgress "
    return [int(t[len(prefix):len(prefix) + 2]) for t in run.traces if t.startswith(prefix)]


class Progress(harness.FakePatchLog, unittest.TestCase):
    @classmethod
    def tearDownClass(cls):
        harness.remove_example_products()

    @classmethod
    def setUpClass(cls):
        harness.example_products()
        # The fake patch padded to 2 MiB: it still runs, and a slow server
        # takes a few seconds over it.
        patch = harness.fakepatch_bytes()
        cls.body = patch + b"\0" * (2 * 1024 * 1024 - len(patch))

    def start(self, server, route, args=(), pinned=False):
        server.routes[PATH] = route
        ini = harness.folder_ini(server.base + "/p", 0)
        if pinned:  # a body without a known end is started only when pinned
            ini += "SHA2560=%s\n" % hashlib.sha256(route.body).hexdigest()
        pkg = harness.Package(ini)
        self.addCleanup(pkg.remove)
        return pkg.start(list(args), env=harness.fakepatch_env(self.log))

    def test_slow_download_moves_status_and_bar(self):
        # The body comes in pieces up to its half and is held there until
        # the bar was seen between its ends.
        gate = threading.Event()
        with harness.PatchServer() as server:
            route = harness.Route(self.body, mode="slow", chunk=32768, delay=0.06, gate=gate, hold_at=len(self.body) // 2)
            handle = self.start(server, route)
            pos = harness.winctl("position", 120000)
            harness.screenshot(os.path.join(harness.BUILD, "e2e-progress.png"))
            gate.set()
            r = harness.finish(handle)
        self.assertEqual(0, pos.rc, pos)
        position = int(pos.stdout.strip().split("=")[1])
        self.assertTrue(0 < position < 100, pos.stdout)
        self.assertEqual(0, r.rc, r)
        codes = progress_codes(r)
        # Connecting (status line 106) comes before the data (107).
        self.assertIn(2, codes)
        self.assertIn(4, codes)
        self.assertLess(codes.index(2), codes.index(4))
        sizes = [t for t in r.traces if t.startswith("CBSCallbackImpl::OnProgress 05(")]
        self.assertTrue(sizes, r.traces)
        self.assertTrue(all(t.endswith(" / %d\n" % len(self.body)) for t in sizes), sizes[:3])
        self.assertEqual(1, len(harness.read_fakepatch(self.log)))

    def test_without_length_the_bar_stays(self):
        gate = threading.Event()
        with harness.PatchServer() as server:
            watcher = harness.Watcher("watch", 300000)
            handle = self.start(server, harness.Route(self.body, mode="nolength", chunk=65536, gate=gate), pinned=True)
            watcher.wait("seen")
            gate.set()
            r = harness.finish(handle)
            watch = watcher.finish()
        self.assertEqual(0, r.rc, r)
        self.assertEqual("seen=1 visible=1 maxpos=0", watch.stdout.strip(), watch)

    def test_cancel_during_download_ends_at_once(self):
        # A body that takes a minute to come, and one whose server stops
        # sending at its half (no progress report comes any more): the run
        # ends while the server still holds the transfer, and the worker
        # ends on its own, never terminated.
        body = self.body * 4
        for name in ("slow", "stalled"):
            with self.subTest(name), harness.PatchServer() as server:
                gate = threading.Event()
                route = harness.Route(body, mode="slow", chunk=16384, delay=0.1)
                if name == "stalled":
                    route = harness.Route(body, mode="slow", chunk=65536, gate=gate, hold_at=len(body) // 2)
                handle = self.start(server, route)
                self.assertEqual(0, harness.winctl("position", 120000).rc)
                cancel = harness.winctl("cancel", 60000)
                r = harness.finish(handle, timeout=60)
                gate.set()
                self.assertEqual([], server.sent_whole)
                self.assertEqual(0, cancel.rc, cancel)
                self.assertEqual(5, r.rc, r)
                verdict = [i for i, t in enumerate(r.traces) if t.startswith("[Veldrun] Download result: download failed")]
                self.assertEqual(1, len(verdict), r.traces)
                self.assertLess(verdict[0], r.traces.index("[Veldrun] Program End.\n"))
                self.assertFalse([t for t in r.traces if "terminated" in t], r.traces)
                local = [t for t in r.traces if "Local path: " in t][0].split("Local path: ")[1].strip()
                self.assertFalse(os.path.exists(harness.unix_path(local)))
                self.assertEqual([], harness.read_fakepatch(self.log))

if __name__ == "__main__":
    unittest.main()
