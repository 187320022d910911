"""What a user meets in a visible run: Enter never ends it; a run that
cannot start its download or its patch shows the patch error and ends with
6; the window goes when its box is answered and at once on Cancel."""
import os
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO
PATCH_ERROR = "PATCH ERROR: The update cannot be installed on your computer."


class UserFaults(harness.FakePatchLog, harness.ExampleRunCase):
    def start(self, server, body=None, base=None, gate=None, args=()):
        body = self.patch if body is None else body
        route = harness.Route(body, mode="slow", gate=gate) if gate else harness.Route(body)
        server.routes["/p/0/%s.exe" % SR] = route
        pkg = harness.Package(harness.folder_ini(base or server.base + "/p", 0))
        self.addCleanup(pkg.remove)
        # Message texts in English whatever the host's locale.
        return pkg.start(list(args), env=harness.fakepatch_env(self.log, extra={"LC_ALL": "en_US.UTF-8"}))

    def test_enter_never_ends_a_run(self):
        gate = threading.Event()
        with harness.PatchServer() as server:
            handle = self.start(server, gate=gate)
            try:
                entered = harness.winctl("enter", 120000)
            finally:
                gate.set()
            r = harness.finish(handle)
        self.assertEqual(0, entered.rc, entered)
        self.assertEqual(0, r.rc, r)
        self.assertEqual(1, len(harness.read_fakepatch(self.log, count=1)))

    def test_visible_run_that_cannot_go_on_shows_the_patch_error_and_exits_6(self):
        cases = {
            # 250 characters of server value: the URL would not fit.
            "URL too long": dict(base="http://127.0.0.1:1/" + "a" * 231),
            # A text file served as the build, unpinned.
            "patch not startable": dict(body=b"not a program at all" * 100),
        }
        for name, kw in cases.items():
            with self.subTest(name):
                # The outcome line is longer than the debugger output shows: read from the run's log.
                log = tempfile.mktemp(prefix="vdr-runlog-")
                self.addCleanup(lambda: os.path.exists(log) and os.unlink(log))
                with harness.PatchServer() as server:
                    handle = self.start(server, args=("/log", harness.winepath(log)), **kw)
                    answered = harness.winctl("answer", 120000)
                    r = harness.finish(handle, timeout=60)
                with open(log, encoding="utf-8") as f:
                    outcome = f.read().splitlines()[-2]
                self.assertEqual(0, answered.rc, answered)
                self.assertIn("text=%s" % PATCH_ERROR, answered.stdout.splitlines())
                self.assertIn("hidden=1", answered.stdout)
                self.assertEqual(6, r.rc, r)
                self.assertIn(" [Veldrun] Outcome: not started (exit 6): ", outcome)
                self.assertEqual([], harness.read_fakepatch(self.log))

    def test_cancel_hides_the_window_while_the_transfer_is_still_ended(self):
        # The body is held after its first bytes: the worker is still in
        # the transfer when Cancel comes.
        gate = threading.Event()
        with harness.PatchServer() as server:
            handle = self.start(server, gate=gate)
            try:
                self.assertEqual(0, harness.winctl("position", 120000).rc)
                hidden = harness.winctl("hide", 120000)
            finally:
                gate.set()
            r = harness.finish(handle)
        self.assertEqual(0, hidden.rc, hidden)
        self.assertIn("hidden=1 running=1", hidden.stdout)
        self.assertEqual(5, r.rc, r)
        self.assertEqual([], harness.read_fakepatch(self.log))


if __name__ == "__main__":
    unittest.main()
