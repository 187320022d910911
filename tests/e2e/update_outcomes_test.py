"""A package run decides by the installed products: the six installed states
of the Ombrel example, each with its download URL (or none), message box and
exit status."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO
DISC = ("Ombrel Disc Studio", "4.0", "OMS230910-01", "4.00.2215")
TAPE = ("Tape & Tune", "2.5", "OMS230910-01", "2.50.1870")

# name, installed (disc, tape), requested folder or None, exit status,
# trace of the outcome, message text
STATES = [
    ("as installed", (DISC, TAPE), "0", 0, None, None),
    ("both on OMS231120-01",
     (("Ombrel Disc Studio", "4.0", "OMS231120-01", "4.00.2301"),
      ("Tape & Tune", "2.5", "OMS231120-01", "2.50.1904")), "1", 0, None, None),
    ("both patched",
     (("Ombrel Disc Studio", "4.0", SR, "4.00.2400"), ("Tape & Tune", "2.5", SR, "2.50.1990")),
     None, 4, "WindowProc::WM_USER_PATCHED\n", "already"),
    ("disc patched, tape not",
     (("Ombrel Disc Studio", "4.0", SR, "4.00.2400"), TAPE), "max", 0, None, None),
    ("disc shows 4.1", (("Ombrel Disc Studio", "4.1", "OMS230910-01", "4.00.2215"), TAPE),
     None, 2, None, "PATCH ERROR"),
    ("tape not installed", (DISC, None), None, 1, None, "PRODUCT ERROR"),
]


def wait_for(path, seconds=120):
    return harness.wait_until(lambda: os.path.exists(path) and os.path.getsize(path) > 0, seconds)


class InstalledStates(harness.ExampleRunCase):
    install_products = False

    def run_state(self, state, args, visible_box=False):
        name, installed, folder, status, trace, _ = state
        harness.example_products(*installed)
        log = tempfile.mktemp(prefix="vdr-fake-")
        with harness.PatchServer() as server:
            base = server.base + "/patch/417"
            for f in ("0", "1", "max"):
                server.routes["/patch/417/%s/%s.exe" % (f, SR)] = harness.Route(self.patch)
            pkg = harness.Package(harness.example_ini(base))
            try:
                # Message texts in English whatever the host's locale.
                env = harness.fakepatch_env(log, extra={"LC_ALL": "en_US.UTF-8"})
                if visible_box:
                    handle = pkg.start(args, env=env)
                    box = harness.winctl("msgbox", 30000)
                    if box.rc != 0:
                        handle[0].kill()  # no box to close: do not wait for the run
                    r = harness.finish(handle)
                else:
                    box = None
                    r = harness.run_closing_boxes(pkg.exe, args, env=env)
            finally:
                pkg.remove()
            requests = list(server.requests)
        if folder:
            self.assertTrue(wait_for(log), name)
        starts = harness.read_fakepatch(log)
        if os.path.exists(log):
            os.unlink(log)
        return r, requests, starts, box

    def test_silent_runs(self):
        for state in STATES:
            name, _, folder, status, trace, _ = state
            with self.subTest(name):
                r, requests, starts, _ = self.run_state(state, ["/s"])
                self.assertEqual(status, r.rc, r)
                self.assertIn("[Veldrun] Program End.\n", r.traces)
                self.assertEqual([], r.boxes)
                if folder:
                    url = "/patch/417/%s/%s.exe" % (folder, SR)
                    self.assertEqual([url], requests)
                    self.assertIn("[Veldrun] updateDownloadURL => Source URL: %s%s\n"
                                  % ("http://127.0.0.1:%s" % r.trace_text.split("127.0.0.1:")[1].split("/")[0], url),
                                  r.traces)
                    self.assertEqual(1, len(starts), starts)
                    self.assertTrue(starts[0]["hidden"])
                    self.assertTrue(starts[0]["cmdline"].endswith('.exe" /s'), starts)
                else:
                    self.assertEqual([], requests)
                    self.assertEqual([], starts)
                if trace:
                    self.assertIn(trace, r.traces)
                if status in (1, 2):
                    # No timer, no worker: nothing after the product check.
                    self.assertFalse(any("getSRIdFromFile" in t for t in r.traces), r.traces)

    def test_visible_outcomes_show_their_message_box(self):
        for state in (STATES[2], STATES[4], STATES[5]):
            name, _, _, status, _, text = state
            with self.subTest(name):
                r, _, _, box = self.run_state(state, [], visible_box=True)
                self.assertEqual(0, box.rc, box)
                self.assertIn(text, box.stdout)
                self.assertEqual(status, r.rc, r)
                self.assertIn("[Veldrun] Program End.\n", r.traces)

    def test_visible_install_passes_quoted_path_and_one_blank(self):
        r, _, starts, _ = self.run_state(STATES[0], [])
        self.assertEqual(0, r.rc, r)
        self.assertEqual(1, len(starts), starts)
        run_line = [t for t in r.traces if t.startswith("Run Command: ")]
        self.assertEqual(1, len(run_line), r.traces)
        local = run_line[0][len('Run Command: "'):].split('"')[0]
        self.assertEqual('Run Command: "%s" \n' % local, run_line[0])
        self.assertTrue(local.lower().endswith(".exe"), local)
        self.assertEqual('"%s" ' % local, starts[0]["cmdline"])
        self.assertEqual(1, starts[0]["show"])  # SW_SHOWNORMAL
        self.assertFalse(starts[0]["hidden"])


if __name__ == "__main__":
    unittest.main()
