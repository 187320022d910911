"""Start-up of Veldrun.exe: the switch scan, the single-instance guard and
the extraction into the temporary directory."""
import os
import re
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

# No [RegPath]: every update run ends in the product error (exit status 1),
# with its message box when visible (closed by run_closing_boxes).
INI = b"[SRInfo]\r\nSRNo=OMS240118-02\r\nURL=http://127.0.0.1:8080/patch/417\r\n"
MODE = "[Veldrun] Extract patch mode: "


def mode_of(r):
    modes = [t for t in r.traces if t.startswith(MODE)]
    return modes[0][len(MODE):].rstrip("\n") if len(modes) == 1 else None


class Launch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="vdr-launch-")
        cls.package = harness.build_package(cls.work, INI)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def spawn(self, command_line, *env):
        """Runs the package with exactly this command line (first token included)."""
        return harness.run_closing_boxes(harness.tool("spawn"),
                                         [harness.winepath(self.package), command_line] + list(env), cwd=self.work)

    def test_switch_scan(self):
        cases = [
            ([], "Show No-Wait"),
            (["/S"], "Hide No-Wait"),
            (["-s"], "Hide No-Wait"),
            (["-W"], "Show Wait"),
            (["/w", "-S", "/s"], "Hide Wait"),
            (["/sx", "s", "w", "--w", "-ws", "/s/w"], "Show No-Wait"),
        ]
        for args, want in cases:
            with self.subTest(args=args):
                r = harness.run_closing_boxes(self.package, args, cwd=self.work)
                self.assertEqual(want, mode_of(r), r)
                self.assertEqual(1, r.rc, r)
                self.assertEqual(0 if want.startswith("Hide") else 1, len(r.boxes), r.boxes)

    def test_switch_as_first_argument_counts(self):
        self.assertEqual("Hide No-Wait", mode_of(self.spawn("/s")))
        self.assertEqual("Show Wait", mode_of(self.spawn("-W other")))
        self.assertEqual("Show No-Wait", mode_of(self.spawn("package.exe")))

    def test_command_line_longer_than_259_characters_is_read_whole(self):
        r = harness.run_closing_boxes(self.package, ["x" * 300, "y" * 300, "/w"], cwd=self.work)
        self.assertEqual("Show Wait", mode_of(r), r)

    def test_extracts_into_the_temporary_directory(self):
        r = harness.run_closing_boxes(self.package, [], cwd=self.work)
        path = harness.extracted_path(r)
        self.assertTrue(path and re.search(r"\\temp\\vdr[0-9a-f]{16}\\patch\.ini$", path.lower()), r)
        folder = path[:-len("patch.ini")]
        self.assertEqual(
            ["[Veldrun] checkSignature\n", "[Veldrun] checkSignature 0\n", "[Veldrun] Run folder: %s\n" % folder,
             "[Veldrun] detachFile %s\n" % folder, "[Veldrun] detachFile => 1\n",
             "[Veldrun] Extract patch information file: %s\n" % path,
             "[Veldrun] Extract patch mode: Show No-Wait\n"], r.traces[:7])
        self.assertEqual("[Veldrun] Program End.\n", r.traces[-1])
        # Read by the run, then removed at its end with its folder.
        self.assertFalse(os.path.exists(harness.unix_path(folder)), "the run folder stays behind")

    def test_users_temporary_directory_missing_or_too_long_is_never_used(self):
        long_dir = "C:\\" + "\\".join(["t" * 50] * 6)
        for temp in ("C:\\no-such-directory", long_dir):
            with self.subTest(temp=temp[:30]):
                r = self.spawn("package.exe", "TMP=" + temp, "TEMP=" + temp)
                path = harness.extracted_path(r) or ""
                self.assertEqual(harness.run_root(), os.path.dirname(os.path.dirname(harness.unix_path(path))), r)
                self.assertEqual("Show No-Wait", mode_of(r), r)
        self.assertEqual(["package.exe", "patch.ini"], sorted(os.listdir(self.work)))

    def test_second_instance_is_refused(self):
        ready = os.path.join(self.work, "ready")
        stop = os.path.join(self.work, "stop")
        holder = harness.start(harness.tool("holdmutex"), [harness.winepath(ready), harness.winepath(stop)])
        try:
            harness.wait_until(lambda: os.path.exists(ready) or holder[0].poll() is not None)
            self.assertTrue(os.path.exists(ready), "holdmutex did not start")
            update = harness.run(self.package, ["/s"], cwd=self.work)
            self.assertEqual(7, update.rc, update)
            told = ["[Veldrun] Outcome: another instance (exit 7): another run of a package holds the instance "
                    "mutex; nothing was done\n", "[Veldrun] Program End.\n"]
            self.assertEqual(["[Veldrun] Process is running\n"] + told, update.traces)
            builder = harness.run(harness.VELDRUN_EXE, ["second.exe", "patch.ini"], cwd=self.work)
            self.assertEqual(7, builder.rc, builder)
            self.assertEqual(["[Veldrun] Process is running\n", "[Veldrun] Argument ignored: second.exe\n",
                              "[Veldrun] Argument ignored: patch.ini\n"] + told, builder.traces)
            self.assertFalse(os.path.exists(os.path.join(self.work, "second.exe")))
        finally:
            open(stop, "w").close()
            harness.finish(holder)
            os.unlink(ready)
            os.unlink(stop)
        # Once the other instance has ended, the package runs again.
        self.assertEqual("Hide No-Wait", mode_of(harness.run(self.package, ["/s"], cwd=self.work)))


if __name__ == "__main__":
    unittest.main()
