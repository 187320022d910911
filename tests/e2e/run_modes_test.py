"""Silent and wait runs, and the silent runs that cannot go on (URL too
long, patch that cannot be started): they end with 6 (the visible ones:
user_faults_test.py)."""
import os
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO


class RunModes(harness.FakePatchLog, harness.ExampleRunCase):
    def start(self, server, args, body=None, base=None, exit_code=0, sleep_ms=0, gate=None):
        body = self.patch if body is None else body
        route = harness.Route(body, mode="slow", gate=gate) if gate else harness.Route(body)
        server.routes["/p/0/%s.exe" % SR] = route
        pkg = harness.Package(harness.folder_ini(base or server.base + "/p", 0))
        self.addCleanup(pkg.remove)
        return pkg.start(args, env=harness.fakepatch_env(self.log, exit_code, sleep_ms))

    def test_silent_run_never_shows_its_window_and_starts_the_patch_hidden(self):
        # The download is held until the helper has found the window: a run
        # that came and went before the helper looked would prove nothing.
        gate = threading.Event()
        with harness.PatchServer() as server:
            watcher = harness.Watcher("watch", 300000)
            handle = self.start(server, ["/s"], gate=gate)
            watcher.wait("seen")
            gate.set()
            r = harness.finish(handle)
            watch = watcher.finish()
        self.assertEqual(0, r.rc, r)
        self.assertEqual("seen=1 visible=0", watch.stdout.strip().rsplit(" ", 1)[0], watch)
        self.assertIn("WindowProc::WM_WINDOWPOSCHANGING\n", r.traces)
        starts = harness.read_fakepatch(self.log, count=1)
        self.assertEqual(1, len(starts), starts)
        self.assertTrue(starts[0]["hidden"])
        self.assertTrue(starts[0]["cmdline"].endswith('.exe" /s'), starts)

    def test_wait_ends_after_the_patch_and_passes_its_exit_code(self):
        for args in (["/s", "/w"], ["-S", "-W"]):
            with self.subTest(args):
                with harness.PatchServer() as server:
                    began = time.time()
                    r = harness.finish(self.start(server, args, exit_code=42, sleep_ms=2000))
                    took = time.time() - began
                self.assertEqual(42, r.rc, r)
                self.assertGreaterEqual(took, 2.0)
                self.assertTrue(os.path.exists(self.log))  # recorded before the run ended
                os.unlink(self.log)

    def test_silent_run_that_cannot_go_on_ends_with_6(self):
        cases = {
            # 250 characters of server value: the URL would not fit.
            "URL too long": dict(base="http://127.0.0.1:1/" + "a" * 231),
            # Not even a DOS program: with 32-bit Wine installed, "MZ" and
            # garbage would be handed to its DOS emulation.
            "patch not startable": dict(body=b"not a program at all" * 100),
        }
        for name, kw in cases.items():
            with self.subTest(name):
                with harness.PatchServer() as server:
                    r = harness.finish(self.start(server, ["/s"], **kw), timeout=60)
                self.assertEqual(6, r.rc, r)
                self.assertIn("[Veldrun] Program End.\n", r.traces)
                self.assertEqual([], harness.read_fakepatch(self.log))


if __name__ == "__main__":
    unittest.main()
