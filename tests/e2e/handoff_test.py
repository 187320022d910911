"""The hand-off to a real installer on a real machine: a patch that
broadcasts while it is waited for, an NSIS installer started silently with
its own switch, a restart asked for, a server that trickles, a body larger
than its pinned size, a body whose end cannot be known, and packages in
folders whose names the ANSI code page cannot hold or that pass 259
characters."""
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


# An NSIS installer that records whether it runs silent and exits with 23.
NSIS_SCRIPT = r'''Unicode true
OutFile "nsispatch.exe"
RequestExecutionLevel user
Function .onInit
  StrCpy $0 "visible"
  IfSilent 0 +2
  StrCpy $0 "silent"
  FileOpen $1 "%s" w
  FileWrite $1 $0
  FileClose $1
  SetErrorLevel 23
  Quit
FunctionEnd
Section
SectionEnd
'''


class Handoff(harness.FakePatchLog, harness.ExampleRunCase):
    def run_package(self, server, folder, routes, extra="", args=("/s", "/w"), env=None, timeout=120):
        for name, route in routes.items():
            server.routes["/p/%s/%s.exe" % (name, SR)] = route
        pkg = harness.Package(harness.folder_ini(server.base + "/p", folder) + extra)
        self.addCleanup(pkg.remove)
        log = os.path.join(pkg.dir, "run.log")  # the debugger output shortens the long outcome line
        r = pkg.run(list(args) + ["/log", harness.winepath(log)], env=env or harness.fakepatch_env(self.log),
                    timeout=timeout)
        with open(log, "rb") as f:
            lines = [line.split(" ", 1)[-1] for line in f.read().decode("utf-8").splitlines()]
        r.outcome = ([line for line in lines if line.startswith("[Veldrun] Outcome: ")] or [""])[-1] + "\n"
        return r

    def test_broadcasting_patch_is_answered_and_its_restart_code_passed_on(self):
        env = harness.fakepatch_env(self.log, exit_code=3010, extra={"VELDRUN_FAKEPATCH_BROADCAST": "1"})
        with harness.PatchServer() as server:
            r = self.run_package(server, 0, {"0": harness.Route(self.patch)}, env=env, timeout=90)
        self.assertEqual(3010 % 256, r.rc, r)  # Wine hands its host only the low byte
        self.assertEqual(1, len(harness.read_fakepatch(self.log)))
        self.assertTrue(r.outcome.startswith("[Veldrun] Outcome: patch finished (exit 3010): "), r.outcome)
        self.assertTrue(r.outcome.endswith(
            "; the patch ended with exit code 3010: the patch finished and asks for a restart\n"), r.outcome)

    def test_nsis_installer_started_silently_with_its_own_switch(self):
        work = tempfile.mkdtemp(prefix="vdr-nsis-")
        self.addCleanup(shutil.rmtree, work, True)
        record = os.path.join(work, "record.txt")
        with open(os.path.join(work, "patch.nsi"), "w") as f:
            f.write(NSIS_SCRIPT % harness.winepath(record))
        made = subprocess.run(["makensis", "-V2", "patch.nsi"], cwd=work, capture_output=True)
        self.assertEqual(0, made.returncode, made)
        with open(os.path.join(work, "nsispatch.exe"), "rb") as f:
            installer = f.read()
        with harness.PatchServer() as server:
            r = self.run_package(server, 0, {"0": harness.Route(installer)}, extra="SilentArgs=/S\n", timeout=180)
        self.assertEqual(23, r.rc, r)
        self.assertIn('" /S\n', [t for t in r.traces if t.startswith("Run Command:")][0])
        with open(record) as f:
            self.assertEqual("silent", f.read())

    def test_trickling_server_ends_at_the_download_deadline(self):
        # A few bytes every two seconds: never a stall, never done.
        with harness.PatchServer() as server:
            began = time.time()
            r = self.run_package(server, -1, {"max": harness.Route(self.patch, mode="slow", chunk=8, delay=2.0)},
                                 extra="DownloadSeconds=10\n", timeout=90)
            took = time.time() - began
        self.assertEqual(3, r.rc, r)
        self.assertLess(took, 10 + 30)
        self.assertIn("[Veldrun] Download too slow: not done after 10 s\n", r.traces)
        self.assertIn("max/%s.exe: not done after 10 s" % SR, r.outcome)
        self.assertEqual([], harness.read_fakepatch(self.log))

    def test_body_past_its_pinned_size_is_stopped_and_never_started(self):
        # Content-Length other than the pin: stopped at the headers; no
        # length: stopped once the pinned size is passed.
        body = self.patch + b"\0" * (4 * 1024 * 1024)
        pin = "SHA256Max=%s\nSizeMax=%d\n" % (hashlib.sha256(self.patch).hexdigest(), len(self.patch))
        cases = [("announced", harness.Route(body, chunk=65536, delay=0.05), "bytes announced, pinned %d (stopped)"),
                 ("passed", harness.Route(body, mode="nolength", chunk=65536, delay=0.05),
                  "bytes: more than the pinned %d")]
        for name, route, said in cases:
            with self.subTest(name), harness.PatchServer() as server:
                r = self.run_package(server, -1, {"max": route}, extra=pin)
                self.assertEqual(3, r.rc, r)
                self.assertIn(said % len(self.patch), r.outcome)
                self.assertEqual([], harness.read_fakepatch(self.log))
                stopped = [t for t in r.traces if t.startswith("[Veldrun] Download stopped: ")]
                self.assertEqual(1, len(stopped), r.traces)
                received = int(stopped[0].split()[3])
                self.assertLess(received, len(self.patch) + 4 * 65536, stopped)

    def test_body_without_a_known_end_is_started_only_when_pinned(self):
        pin = "SHA256Max=%s\n" % hashlib.sha256(self.patch).hexdigest()
        for extra, rc, starts in (("", 3, 0), (pin, 0, 1)):
            with self.subTest(pinned=bool(extra)), harness.PatchServer() as server:
                r = self.run_package(server, -1, {"max": harness.Route(self.patch, mode="nolength")}, extra=extra)
                self.assertEqual(rc, r.rc, r)
                self.assertEqual(starts, len(harness.read_fakepatch(self.log)))
                if not extra:
                    self.assertIn(": HTTP 200, %d bytes, no length and no chunked framing: end unknown" %
                                  len(self.patch), r.outcome)

    def test_package_runs_from_any_folder(self):
        # A Western code page holds neither script; the long path passes 259 characters.
        root = tempfile.mkdtemp(prefix="vdr-path-")
        self.addCleanup(shutil.rmtree, root, True)
        named = os.path.join(root, "Обновление 更新")
        deep = os.path.join(root, *(["folder-%02d-%s" % (i, "x" * 40) for i in range(5)]))
        self.assertGreater(len(harness.winepath(os.path.join(deep, "package.exe"))), 270)
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch)
            pkg = harness.Package(harness.folder_ini(server.base + "/p", 0))
            self.addCleanup(pkg.remove)
            for where in (named, deep):
                with self.subTest(where=where[len(root):][:30]):
                    os.makedirs(where)
                    exe = shutil.copy(pkg.exe, os.path.join(where, "package.exe"))
                    r = harness.run(exe, ["/s", "/w"], env=harness.fakepatch_env(self.log))
                    self.assertEqual(0, r.rc, r)
                    self.assertIn("[Veldrun] detachFile => 1\n", r.traces)
        self.assertEqual(2, len(harness.read_fakepatch(self.log)))

    def test_builder_refuses_paths_it_cannot_name(self):
        work = tempfile.mkdtemp(prefix="vdr-build-")
        self.addCleanup(shutil.rmtree, work, True)
        named = os.path.join(work, "Обновление 更新")
        os.mkdir(named)
        with open(os.path.join(named, "patch.ini"), "w") as f:
            f.write("[RegPath]\n")
        shutil.copy(harness.VELDRUN_EXE, os.path.join(work, "Veldrun.exe"))
        for args, rc in (([harness.winepath(os.path.join(named, "package.exe")), "patch.ini"], 3),
                         (["package.exe", harness.winepath(os.path.join(named, "patch.ini"))], 4)):
            with self.subTest(rc=rc):
                r = harness.run(os.path.join(work, "Veldrun.exe"), args, cwd=work)
                self.assertEqual(rc, r.rc, r)
                self.assertEqual([], [n for n in os.listdir(named) if n != "patch.ini"])
                self.assertFalse(os.path.exists(os.path.join(work, "package.exe")))


if __name__ == "__main__":
    unittest.main()
