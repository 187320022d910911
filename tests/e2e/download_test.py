"""The download side of a run: one fallback to "Max", the server error, and
never starting a broken download (error page, 500, body cut short). A 500
and a cut body are asked for again (four times in a row without a byte to
resume from); an error page is not."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO
SERVER_ERROR = "WindowProc::WM_USER_SERVERERROR\n"


def local_paths(run):
    prefix = "[Veldrun] updateDownloadURL => Local path: "
    return [t[len(prefix):-1] for t in run.traces if t.startswith(prefix)]


class Downloads(harness.ExampleRunCase):
    def silent_run(self, folder, routes):
        """Runs a silent package whose build is in `folder` with the server
        answering `routes` {folder name: Route}; returns (run, requested
        folders, fake patch starts)."""
        log = tempfile.mktemp(prefix="vdr-fake-")
        with harness.PatchServer() as server:
            for name, route in routes.items():
                server.routes["/p/%s/%s.exe" % (name, SR)] = route
            pkg = harness.Package(harness.folder_ini(server.base + "/p", folder))
            try:
                r = pkg.run(["/s"], env=harness.fakepatch_env(log), timeout=300)
            finally:
                pkg.remove()
            folders = [p.split("/")[2] for p in server.requests]
        # A started patch writes its record on its own, after the run.
        starts = harness.read_fakepatch(log, count=harness.patch_started(r))
        if os.path.exists(log):
            os.unlink(log)
        self.assertIn("[Veldrun] Program End.\n", r.traces)
        return r, folders, starts

    def test_folder_404_falls_back_once_to_Max(self):
        r, folders, starts = self.silent_run(3, {"Max": harness.Route(self.patch)})
        self.assertEqual(["3", "Max"], folders)
        self.assertEqual(0, r.rc, r)
        self.assertEqual(1, len(starts))
        self.assertNotIn(SERVER_ERROR, r.traces)

    def test_folder_and_Max_failing_is_a_server_error(self):
        r, folders, starts = self.silent_run(3, {})
        self.assertEqual(["3", "Max"], folders)
        self.assertEqual(3, r.rc, r)
        self.assertIn(SERVER_ERROR, r.traces)
        self.assertEqual([], starts)

    def test_generic_build_failing_is_a_server_error_at_once(self):
        r, folders, starts = self.silent_run(-1, {"Max": harness.Route(self.patch)})
        self.assertEqual(["max"], folders)  # no second download
        self.assertEqual(3, r.rc, r)
        self.assertIn(SERVER_ERROR, r.traces)
        self.assertEqual([], starts)

    def test_broken_downloads_are_never_started(self):
        cases = {
            "error page": (harness.Route(mode="status", status=404), 1),
            "500": (harness.Route(mode="status", status=500), 4),
            "cut short": (harness.Route(self.patch, mode="short", cut=len(self.patch) // 2), 4),
        }
        for name, (route, tries) in cases.items():
            with self.subTest(name):
                r, folders, starts = self.silent_run(2, {"2": route, "Max": route})
                self.assertEqual(["2"] * tries + ["Max"] * tries, folders)
                self.assertEqual(3, r.rc, r)
                self.assertEqual([], starts)
                self.assertFalse([t for t in r.traces if t.startswith("Run Command:")], r.traces)
                for path in local_paths(r):
                    self.assertFalse(os.path.exists(harness.unix_path(path)), path)

    def test_broken_first_download_then_good_Max(self):
        r, folders, starts = self.silent_run(
            2, {"2": harness.Route(self.patch, mode="short", cut=1000), "Max": harness.Route(self.patch)})
        self.assertEqual(["2"] * 4 + ["Max"], folders)
        self.assertEqual(0, r.rc, r)
        self.assertEqual(1, len(starts))

    def test_body_without_length_is_never_started_unpinned(self):
        # Its end is where the connection closed: a cut body looks whole.
        r, folders, starts = self.silent_run(2, {"2": harness.Route(self.patch, mode="nolength"),
                                                 "Max": harness.Route(self.patch, mode="nolength")})
        self.assertEqual(["2", "Max"], folders)
        self.assertEqual(3, r.rc, r)
        self.assertEqual([], starts)
        self.assertEqual(2, sum(t.startswith("[Veldrun] Download result: end unknown ") for t in r.traces), r.traces)


class WorkerVerdicts(unittest.TestCase):
    """The download worker alone (no window): its verdict per answer."""

    def test_verdicts(self):
        body = os.urandom(200000)
        cases = [
            ("ok", harness.Route(body), "good", 1),
            ("nolength", harness.Route(body, mode="nolength"), "end unknown", 0),
            ("nolength pinned", harness.Route(body, mode="nolength"), "good", 1, "0", "pinned"),
            ("pinned size", harness.Route(body), "good", 1, str(len(body))),
            ("another size", harness.Route(body), "size refused", 0, str(len(body) - 1)),
            ("past the size", harness.Route(body, mode="nolength"), "size refused", 0, "1000", "pinned"),
            ("missing", None, "server error status", 0),
            ("e500", harness.Route(mode="status", status=500), "server error status", 0),
            ("short", harness.Route(body, mode="short", cut=50000), "incomplete", 0),
        ]
        local = tempfile.mktemp(prefix="vdr-dl-", suffix=".exe")
        with harness.PatchServer() as server:
            for name, route, verdict, exists, *pins in cases:
                with self.subTest(name):
                    path = "/" + name.replace(" ", "-")
                    if route:
                        server.routes[path] = route
                    r = harness.run(harness.tool("dlprobe"), [server.base + path, harness.winepath(local)] + pins)
                    # The worker judges and removes nothing: a refused file
                    # is removed when the run's driver says so.
                    self.assertEqual("verdict=%s" % verdict, r.stdout.strip().split(" exists=")[0], r)
                    if exists:
                        with open(local, "rb") as f:
                            self.assertEqual(body, f.read())
                    if os.path.exists(local):
                        os.unlink(local)
            with self.subTest("connection refused"):
                r = harness.run(harness.tool("dlprobe"), ["http://127.0.0.1:1/x.exe", harness.winepath(local)])
                self.assertEqual("verdict=download failed", r.stdout.strip().split(" exists=")[0], r)


if __name__ == "__main__":
    unittest.main()
