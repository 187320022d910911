"""The release program itself: the 32-bit Veldrun.exe (out/build/win32)
under i386 Wine in a 64-bit prefix, as users run it on 64-bit Windows.

The i386 side runs emulated (qemu user mode), so the suite starts few
programs: builder mode once, runs of that package (code-signed after it
was built and pinned to the served build) against a server whose answers
change from case to case, and a second instance during the visible run.
The cases are those where 32-bit code differs: the registry view, the
window and its message parameters, the download callback and its COM
calls on the worker thread, starting the patch. The helper programs (fake
patch, window helper, window probe) are the win64 tree's: 64-bit programs
start natively in the same prefix.

Debian 12's qemu 7.2 kills a 32-bit process that raises a debug string
(which OutputDebugStringA does, the program's trace) while the download's
threads run; scripts/install-deps.sh installs qemu 10, which does not. The
32-bit bindprobe, started beside builder mode, shows it without any of the
program's code: its case fails on such an emulation, and the cases that
download are skipped there with that reason."""
import os
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import shutil

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
import peres  # noqa: E402
import window_look_test as look  # noqa: E402

SR = harness.EXAMPLE_SRNO
HOST_VDRPACK = os.path.join(harness.BUILD, "..", "host", "tools", "vdrpack")
BINDPROBE = os.path.join(harness.BUILD, "tests", "e2e", "tools", "bindprobe.exe")
START = 600  # seconds one emulated run may take, start-up included
PATCH_RECORD = 300  # seconds a started patch may take to record itself
# The example's products as a 32-bit installer writes them, and other
# builds in the 64-bit view only (which the program must not read).
AS_INSTALLED = {harness.EXAMPLE_KEYS[0]: ("Ombrel Disc Studio", "4.0", "OMS230910-01", "4.00.2215"),
                harness.EXAMPLE_KEYS[1]: ("Tape & Tune", "2.5", "OMS230910-01", "2.50.1870")}
ON_1120 = {harness.EXAMPLE_KEYS[0]: ("Ombrel Disc Studio", "4.0", "OMS231120-01", "4.00.2301"),
           harness.EXAMPLE_KEYS[1]: ("Tape & Tune", "2.5", "OMS231120-01", "2.50.1904")}
PATCHED = {harness.EXAMPLE_KEYS[0]: ("Ombrel Disc Studio", "4.0", SR, "4.00.2400"),
           harness.EXAMPLE_KEYS[1]: ("Tape & Tune", "2.5", SR, "2.50.1990")}
IDC_STATUS = 1002


def path_of(folder):
    return "/patch/417/%s/%s.exe" % (folder, SR)


def products(view32, view64):
    harness.remove_example_products()
    harness.reg_products(view32, view=32)
    harness.reg_products(view64, view=64)


class ReleaseProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for tool in ("fakepatch", "winctl"):
            if not os.path.exists(harness.tool(tool)):
                raise RuntimeError("%s is missing: build the win64 tree first (make build)" % harness.tool(tool))
        cls.patch = harness.fakepatch_bytes()
        cls.tmp = tempfile.mkdtemp(prefix="vdr-release-")
        cls.server = harness.PatchServer().__enter__()
        cls.server.routes["/probe.exe"] = harness.Route(cls.patch)
        cls.probe_file = os.path.join(cls.tmp, "probe.exe")
        probe = harness.start(BINDPROBE, [cls.server.base + "/probe.exe", harness.winepath(cls.probe_file), "qt"])
        cls.ini = cls.pinned_ini(harness.example_ini(cls.server.base + "/patch/417"))
        # Builder mode of the release program, then a signature on top.
        cls.pkg = harness.Package(cls.ini)
        cls.signed = os.path.join(cls.pkg.dir, "signed.exe")
        cls.signature = harness.sign_package(cls.pkg.exe, cls.signed)
        cls.probe = harness.finish(probe, timeout=START)
        lines = cls.probe.stdout.splitlines()
        cls.downloads_work = cls.probe.rc == 0 and "result 0x00000000" in lines

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__(None, None, None)
        cls.pkg.remove()
        harness.remove_example_products()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    @classmethod
    def pinned_ini(cls, text):
        """The file with pins of the served build for folder 0 and Max,
        written by the host build's vdrpack."""
        if not os.path.exists(HOST_VDRPACK):
            raise RuntimeError("the host build's vdrpack is missing: run make build-host first")
        ini, build = os.path.join(cls.tmp, "patch.ini"), os.path.join(cls.tmp, "build.exe")
        with open(ini, "w", newline="\r\n") as f:
            f.write(text)
        with open(build, "wb") as f:
            f.write(cls.patch)
        for option in (["--build", "0"], ["--max"]):
            subprocess.run([HOST_VDRPACK, "pin", ini] + option + [build], check=True, capture_output=True)
        with open(ini, newline="") as f:
            return f.read().replace("\r\n", "\n")  # Package writes CR LF itself

    def serve(self, routes):
        self.server.routes = dict(routes)
        with self.server.lock:
            del self.server.requests[:]
        self.log = os.path.join(self.tmp, self.id().rsplit(".", 1)[-1] + ".log")

    def need_downloads(self):
        if not self.downloads_work:
            self.skipTest("emulated i386 Wine kills a process that raises a debug string while a download's "
                          "threads run (32-bit bindprobe with tracing: rc %r, %r)"
                          % (self.probe.rc, self.probe.stdout.splitlines()[-3:]))

    def run_signed(self, args, exit_code=0, sleep_ms=0, started=0):
        """Runs the signed package; without "/w" a started patch records
        itself after the program ended: waits up to PATCH_RECORD seconds
        for the `started` records expected."""
        r = harness.finish(harness.start(self.signed, args, env=harness.fakepatch_env(self.log, exit_code, sleep_ms)),
                           timeout=START)
        return r, list(self.server.requests), harness.read_fakepatch(self.log, count=started, timeout=PATCH_RECORD)

    def test_signed_package_extracts_and_the_32bit_view_decides(self):
        # Patched in the 32-bit view, not in the 64-bit one: the run ends
        # before any download, "already applied".
        products(PATCHED, AS_INSTALLED)
        self.serve({path_of(0): harness.Route(self.patch)})
        r, requests, starts = self.run_signed(["/s"])
        self.assertGreater(self.signature, 0)
        self.assertEqual(4, r.rc, r)
        self.assertIn("WindowProc::WM_USER_PATCHED\n", r.traces)
        self.assertIn("[Veldrun] Program End.\n", r.traces)
        self.assertEqual(([], []), (requests, starts))
        # The run read the file extracted from the signed package (its
        # products and SRNo decided it) and removed it after.
        self.assertIn("[Veldrun] getSRIdFromFile => ID: 999\n", r.traces)
        self.assertIn("[Veldrun] detachFile => 1\n", r.traces)
        self.assertFalse(os.path.exists(harness.unix_path(harness.extracted_path(r))), r)

    def test_visible_window_looks_right_and_a_second_instance_ends_with_7(self):
        # A download held after its first bytes: the window stays until
        # Cancel, and nothing is started.
        self.need_downloads()
        products(AS_INSTALLED, ON_1120)
        gate = threading.Event()
        self.serve({path_of(0): harness.Route(self.patch, mode="slow", gate=gate)})
        pkg = harness.Package(harness.example_ini(self.server.base + "/patch/417"))
        self.addCleanup(pkg.remove)
        handle = pkg.start([], env=harness.fakepatch_env(self.log))
        cancelled = None
        try:
            info = harness.window_info("Update Utility", timeout=START, control=look.IDC_PROGRESS)
            self.assertIsNotNone(info, "the update window shows")
            # The build chosen; the download is then held.
            self.assertTrue(harness.wait_trace(handle, "[Veldrun] getSRIdFromFile => ID: 0\n", START))
            shot_path = os.path.join(self.tmp, "visible.png")
            harness.wait_until(lambda: look.status_painted(harness.screenshot_window(shot_path, info), info), 60,
                               step=0.5)
            with open(harness.VELDRUN_EXE, "rb") as f:
                look.check_early_look(self, peres.PeResources(f.read()), look.Shot(shot_path, info))
            second = harness.run(pkg.exe, ["/s"], timeout=START)
            self.assertEqual(7, second.rc, second)
        finally:
            cancelled = harness.winctl("cancel", 60000)
            gate.set()
            r = harness.finish(handle, timeout=START)
        self.assertEqual(0, cancelled.rc, cancelled)
        self.assertEqual(5, r.rc, r)
        self.assertEqual([], harness.read_fakepatch(self.log))

    def test_platform_download_with_a_tracing_callback_on_a_worker_thread(self):
        lines = self.probe.stdout.splitlines()
        self.assertEqual(0, self.probe.rc, "the emulation killed the 32-bit bindprobe (qemu older than 10? "
                         "scripts/install-deps.sh): %r" % lines[-3:])
        for line in ("OnStartBinding", "status 0x00000000 200", "OnStopBinding 0x00000000"):
            self.assertIn(line, lines)
        with open(self.probe_file, "rb") as f:
            self.assertEqual(self.patch, f.read())

    def test_silent_run_falls_back_to_max_and_starts_the_patch_hidden(self):
        self.need_downloads()
        products(AS_INSTALLED, ON_1120)
        self.serve({path_of(0): harness.Route(mode="status", status=404),
                    path_of("Max"): harness.Route(self.patch)})
        r, requests, starts = self.run_signed(["/s"], started=1)
        self.assertEqual(0, r.rc, r)
        # Folder 0 is what the 32-bit view's builds select (the 64-bit
        # view's would select folder 1); its build is missing.
        self.assertEqual([path_of(0), path_of("Max")], requests)
        self.assertEqual(1, len(starts), starts)
        self.assertTrue(starts[0]["hidden"], starts)
        self.assertTrue(starts[0]["cmdline"].endswith('.exe" /s'), starts)
        self.assertIn("[Veldrun] checkDownloadPin => pin SHA256Max matched\n", r.traces)

    def test_wait_passes_the_patch_exit_code_on(self):
        self.need_downloads()
        products(AS_INSTALLED, ON_1120)
        self.serve({path_of(0): harness.Route(self.patch)})
        r, requests, starts = self.run_signed(["/s", "/w"], exit_code=42, sleep_ms=1000)
        self.assertEqual(42, r.rc, r)
        self.assertEqual([path_of(0)], requests)
        self.assertEqual(1, len(starts), starts)

    def test_pin_mismatch_is_never_started_and_a_server_error_ends_with_3(self):
        self.need_downloads()
        products(AS_INSTALLED, ON_1120)
        # Another build of the pinned size: only the digest refuses it.
        self.serve({path_of(0): harness.Route(b"MZ" + b"t" * (len(self.patch) - 2)),
                    path_of("Max"): harness.Route(mode="status", status=404)})  # a 404 is not asked again
        r, requests, starts = self.run_signed(["/s"])
        self.assertEqual(3, r.rc, r)
        self.assertEqual([path_of(0), path_of("Max")], requests)
        self.assertEqual([], starts)
        self.assertTrue(any(t.startswith("[Veldrun] checkDownloadPin => pin SHA2560 did not match") for t in r.traces),
                        r.traces)
        prefix = "[Veldrun] updateDownloadURL => Local path: "
        for local in [t[len(prefix):].rstrip("\n") for t in r.traces if t.startswith(prefix)]:
            self.assertFalse(os.path.exists(harness.unix_path(local)), local)


if __name__ == "__main__":
    unittest.main()
