"""The elevated run cannot be steered, stalled or left behind: a planted
patch information file is never read, a stalled server ends the run, "/?"
does nothing else, a pinned run never starts an unpinned build, a server
that gzips is refused unpinned, and a "/s /w" run leaves nothing in the temporary folder."""
import hashlib
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO


class RunFaults(harness.FakePatchLog, harness.ExampleRunCase):
    def run_package(self, server, ini, args=("/s", "/w"), timeout=120):
        pkg = harness.Package(ini)
        self.addCleanup(pkg.remove)
        return pkg.run(list(args), env=harness.fakepatch_env(self.log), timeout=timeout)

    def test_planted_patch_information_file_is_never_read(self):
        # Another process of the user plants the file in the temporary
        # directory and keeps it open; the run extracts into its own folder.
        planted = os.path.join(harness.temp_dir(), "patch.ini")
        work = tempfile.mkdtemp(prefix="vdr-hold-")
        ready, stop = os.path.join(work, "ready"), os.path.join(work, "stop")
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch)
            with open(planted, "w", newline="\r\n") as f:
                f.write(harness.folder_ini(server.base + "/planted", 0))
            holder = harness.start(harness.tool("holdfile"), [harness.winepath(planted), harness.winepath(ready),
                                                              harness.winepath(stop)])
            try:
                harness.wait_until(lambda: os.path.exists(ready) or holder[0].poll() is not None)
                self.assertTrue(os.path.exists(ready), "holdfile did not start")
                r = self.run_package(server, harness.folder_ini(server.base + "/p", 0))
            finally:
                open(stop, "w").close()
                harness.finish(holder, timeout=60)
                with open(planted) as f:
                    planted_text = f.read()
                os.unlink(planted)
                for name in (ready, stop):
                    os.unlink(name)
                os.rmdir(work)
            requests = list(server.requests)
        self.assertEqual(0, r.rc, r)
        self.assertEqual(["/p/0/%s.exe" % SR], requests)
        self.assertNotEqual(planted, harness.unix_path(harness.extracted_path(r)))
        self.assertIn("/planted", planted_text)
        self.assertEqual(1, len(harness.read_fakepatch(self.log)))

    def test_stalled_server_ends_the_silent_run(self):
        with harness.PatchServer() as server:
            for folder in ("0", "Max"):
                server.routes["/p/%s/%s.exe" % (folder, SR)] = harness.Route(mode="stall", delay=60)
            ini = harness.folder_ini(server.base + "/p", 0).replace("[SRInfo]\n", "[SRInfo]\nStallSeconds=5\n")
            # Each server stalls for a minute: a run that waited for them
            # would not end within the bound. A stall is tried again, four
            # times a URL at most, as no body byte came.
            log = tempfile.mktemp(prefix="vdr-runlog-")
            self.addCleanup(lambda: os.path.exists(log) and os.unlink(log))
            r = self.run_package(server, ini, args=("/s", "/w", "/log", harness.winepath(log)), timeout=300)
            requests = list(server.requests)
        self.assertEqual(3, r.rc, r)
        self.assertEqual(["/p/0/%s.exe" % SR] * 4 + ["/p/Max/%s.exe" % SR] * 4, requests)
        self.assertEqual(8, r.traces.count("[Veldrun] Download stalled: no progress for 5 s\n"), r.traces)
        with open(log, encoding="utf-8") as f:
            outcome = next(line for line in f if "[Veldrun] Outcome:" in line)
        self.assertIn(" [Veldrun] Outcome: server error (exit 3): ", outcome)
        self.assertEqual(2, outcome.count("4 attempts"), outcome)

    def test_help_does_nothing_else_and_switches_do_not_build(self):
        with harness.PatchServer() as server:
            r = self.run_package(server, harness.folder_ini(server.base + "/p", 0), args=["/S", "-?"])
            requests = list(server.requests)
        self.assertEqual(9, r.rc, r)
        self.assertIn("/s, -s", r.stdout)
        self.assertEqual([], requests)
        self.assertFalse(any(t.startswith("[Veldrun] detachFile") for t in r.traces), r.traces)
        self.assertEqual("[Veldrun] Outcome: usage shown (exit 9)\n", r.traces[-1])
        # The plain program given update switches builds nothing.
        work = tempfile.mkdtemp(prefix="vdr-sw-")
        try:
            r = harness.run(harness.VELDRUN_EXE, ["-s", "-w"], cwd=work)
            self.assertEqual(1, r.rc, r)
            self.assertIn("Usage:", r.stdout)
            self.assertEqual([], os.listdir(work))
        finally:
            os.rmdir(work)

    def test_pinned_build_with_unpinned_fallback_starts_nothing(self):
        other = b"MZ" + b"tampered" * 1000
        with harness.PatchServer() as server:
            for folder in ("0", "Max"):
                server.routes["/p/%s/%s.exe" % (folder, SR)] = harness.Route(self.patch)
            ini = harness.folder_ini(server.base + "/p", 0) + "SHA2560=%s\n" % hashlib.sha256(other).hexdigest()
            # The outcome line is longer than the debugger output shows: read from the run's log.
            log = tempfile.mktemp(prefix="vdr-runlog-")
            self.addCleanup(lambda: os.path.exists(log) and os.unlink(log))
            r = self.run_package(server, ini, args=("/s", "/w", "/log", harness.winepath(log)))
            requests = list(server.requests)
        self.assertEqual(3, r.rc, r)
        self.assertEqual(["/p/0/%s.exe" % SR, "/p/Max/%s.exe" % SR], requests)
        self.assertIn("[Veldrun] checkDownloadPin => no pin SHA256Max, download refused\n", r.traces)
        with open(log, encoding="utf-8") as f:
            outcome = f.read().splitlines()[-2]
        self.assertIn(" [Veldrun] Outcome: server error (exit 3): ", outcome)
        self.assertIn(", pin SHA2560 did not match (file removed); ", outcome)
        self.assertTrue(outcome.endswith(", no pin SHA256Max (file removed)"), outcome)
        self.assertEqual([], harness.read_fakepatch(self.log))

    def test_gzip_body_is_refused_unpinned_and_nothing_is_left_behind(self):
        # Under Wine the request's identity encoding is replaced by WinINet's
        # own: the server that would gzip does, and an unpinned compressed
        # body's end cannot be proven. Neither way leaves anything in the
        # user's TEMP or where the runs make their folders.
        folders = (harness.temp_dir(), harness.run_root())
        for mode in ("gzip", "ok"):
            with self.subTest(mode):
                before = [set(os.listdir(folder)) for folder in folders]
                with harness.PatchServer() as server:
                    server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch, mode=mode)
                    r = self.run_package(server, harness.folder_ini(server.base + "/p", 0))
                    gzipped = list(server.gzipped)
                self.assertEqual(3 if mode == "gzip" else 0, r.rc, r)
                self.assertEqual(0 if mode == "gzip" else 1, len(harness.read_fakepatch(self.log)))
                self.assertEqual(["/p/0/%s.exe" % SR] if mode == "gzip" else [], gzipped)
                self.assertEqual([set(), set()], [set(os.listdir(f)) - b for f, b in zip(folders, before)])
                if os.path.exists(self.log):
                    os.unlink(self.log)

if __name__ == "__main__":
    unittest.main()
