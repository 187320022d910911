"""What a process of the user can do to the elevated run, tried with small
Windows programs standing in for one: files rewritten while the run reads
them, a re-tagged signed package, the package swapped under its name, DLLs
planted beside the package and in the temporary directory, a squatted
instance mutex, a log path that is a link. Nothing of it steers the run."""
import hashlib
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO


def trailer_for(ini_bytes, at):
    """A patch information file and its trailer as builder mode writes them,
    to be placed at offset `at` of a file."""
    name = b"patch.ini"
    return (len(name).to_bytes(4, "little") + name + ini_bytes + at.to_bytes(4, "little") +
            harness.marker_field_text() + b"\0\0")


def retagged(signed, ini_bytes, inside):
    """The signed package with a second patch information file and trailer
    grown into its certificate table (the directory's and the certificate's
    size fields cover it: the signature stays valid) or appended after it."""
    data = bytearray(signed)
    pe = int.from_bytes(data[0x3C:0x40], "little")
    opt = pe + 24
    entry = opt + (112 if data[opt:opt + 2] == b"\x0b\x02" else 96) + 4 * 8
    at = int.from_bytes(data[entry:entry + 4], "little")
    size = int.from_bytes(data[entry + 4:entry + 8], "little")
    assert at + size == len(data), "the table ends the signed file"
    extra = trailer_for(ini_bytes, len(data))
    extra += b"\0" * (-len(extra) % 8)
    if inside:
        data[entry + 4:entry + 8] = (size + len(extra)).to_bytes(4, "little")
        length = int.from_bytes(data[at:at + 4], "little")
        data[at:at + 4] = (length + len(extra)).to_bytes(4, "little")
    return bytes(data + extra)


def wait_for(path, proc, seconds=60):
    end = time.time() + seconds
    while not os.path.exists(path) and proc.poll() is None and time.time() < end:
        time.sleep(0.1)
    return os.path.exists(path)


class Security(harness.FakePatchLog, harness.ExampleRunCase):
    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp(prefix="vdr-sec-")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)
        super().tearDown()

    def path(self, name):
        return os.path.join(self.work, name)

    def stand_in(self, name, args):
        """Starts a stand-in that writes READY once at work and ends when
        STOP exists; returns a function that stops it and returns its Run."""
        ready, stop = self.path(name + ".ready"), self.path(name + ".stop")
        handle = harness.start(harness.tool(name), list(args) + [harness.winepath(ready), harness.winepath(stop)])
        self.assertTrue(wait_for(ready, handle[0]), name + " did not start")

        def end():
            open(stop, "w").close()
            return harness.finish(handle, timeout=60)
        return end

    def test_files_rewritten_during_runs_are_never_followed(self):
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch)
            server.routes["/evil/0/%s.exe" % SR] = harness.Route(self.patch)
            with open(self.path("evil.ini"), "w", newline="\r\n") as f:
                f.write(harness.folder_ini(server.base + "/evil", 0))
            end = self.stand_in("rewriter", [harness.winepath(harness.temp_dir()),
                                             harness.winepath(self.path("evil.ini"))])
            try:
                runs = []
                for _ in range(3):
                    pkg = harness.Package(harness.folder_ini(server.base + "/p", 0))
                    self.addCleanup(pkg.remove)
                    runs.append(pkg.run(["/s", "/w"], env=harness.fakepatch_env(self.log)))
            finally:
                end()
            requests = list(server.requests)
        self.assertEqual([0, 0, 0], [r.rc for r in runs], runs)
        self.assertEqual(["/p/0/%s.exe" % SR] * 3, requests)
        self.assertEqual(3, len(harness.read_fakepatch(self.log)))

    def test_download_cache_written_over_during_slow_transfers_is_never_started(self):
        # The build comes slowly (about 3 s) while the stand-in writes its own
        # program over every file of the user's URL cache, all the time.
        body = self.patch + b"\0" * (2 * 1024 * 1024 - len(self.patch))
        mark = self.path("foreign.txt")
        env = harness.fakepatch_env(self.log, extra={"VELDRUN_FOREIGN_MARK": harness.winepath(mark)})
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(body, mode="slow", chunk=65536, delay=0.1)
            end = self.stand_in("cachewriter", [harness.winepath(harness.inet_cache_dir())])
            try:
                runs = []
                for _ in range(3):
                    pkg = harness.Package(harness.folder_ini(server.base + "/p", 0))
                    self.addCleanup(pkg.remove)
                    runs.append(pkg.run(["/s", "/w"], env=env))
            finally:
                stand_in = end()
        self.assertEqual([0, 0, 0], [r.rc for r in runs], runs)
        self.assertIn("written=", stand_in.stdout)
        self.assertFalse(os.path.exists(mark), open(mark).read() if os.path.exists(mark) else "")
        self.assertEqual(3, len(harness.read_fakepatch(self.log)))

    def test_no_build_stays_in_the_user_cache(self):
        # Each run's build is its own (random padding): taken, refused for
        # its pin, refused for its size.
        bodies = [self.patch + os.urandom(300000) for _ in range(3)]
        with harness.PatchServer() as server:
            runs = []
            for i, (extra, route) in enumerate((("", harness.Route(bodies[0])),
                                                ("SHA2560=%s\n" % ("0" * 64), harness.Route(bodies[1])),
                                                ("Size0=1000\n", harness.Route(bodies[2], mode="nolength")))):
                server.routes["/p%d/0/%s.exe" % (i, SR)] = route
                pkg = harness.Package(harness.folder_ini(server.base + "/p%d" % i, 0) + extra)
                self.addCleanup(pkg.remove)
                runs.append(pkg.run(["/s", "/w"], env=harness.fakepatch_env(self.log)))
        self.assertEqual([0, 3, 3], [r.rc for r in runs], runs)
        self.assertEqual([], harness.files_holding(harness.inet_cache_dir(), bodies))
        # The refused downloads are gone with their run.
        for r in runs[1:]:
            local = [t for t in r.traces if "Local path: " in t][0].split("Local path: ")[1].strip()
            self.assertFalse(os.path.exists(harness.unix_path(local)), local)

    def test_package_swapped_after_the_loader_mapped_it_is_never_read(self):
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch)
            server.routes["/evil/0/%s.exe" % SR] = harness.Route(self.patch)
            honest = harness.Package(harness.folder_ini(server.base + "/p", 0))
            other = harness.Package(harness.folder_ini(server.base + "/evil", 0))
            self.addCleanup(honest.remove)
            self.addCleanup(other.remove)
            # Signed, so that its headers differ from the honest package's
            # as a vendor's other package's would.
            signed = os.path.join(other.dir, "signed.exe")
            harness.sign_package(other.exe, signed)
            r = harness.run(harness.tool("swapstart"), [harness.winepath(honest.exe), harness.winepath(signed), "/s"],
                            env=harness.fakepatch_env(self.log))
            requests = list(server.requests)
        self.assertEqual(8, r.rc, r)
        self.assertEqual([], requests)
        self.assertIn("[Veldrun] The package file is not the program that was started, nothing read\n", r.traces)
        self.assertIn("[Veldrun] detachFile => 2\n", r.traces)
        self.assertEqual([], harness.read_fakepatch(self.log))

    def test_signed_package_retagged_in_or_after_its_table_runs_as_signed(self):
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch)
            server.routes["/evil/0/%s.exe" % SR] = harness.Route(self.patch)
            honest = harness.Package(harness.folder_ini(server.base + "/p", 0))
            self.addCleanup(honest.remove)
            signed = os.path.join(honest.dir, "signed.exe")
            harness.sign_package(honest.exe, signed)
            with open(signed, "rb") as f:
                signed_bytes = f.read()
            evil = harness.folder_ini(server.base + "/evil", 0).replace("\n", "\r\n").encode()
            runs = {}
            for name, data in (("signed", signed_bytes), ("inside", retagged(signed_bytes, evil, True)),
                               ("after", retagged(signed_bytes, evil, False))):
                path = os.path.join(honest.dir, name + ".exe")
                with open(path, "wb") as f:
                    f.write(data)
                runs[name] = harness.run(path, ["/s", "/w"], env=harness.fakepatch_env(self.log))
            requests = list(server.requests)
        self.assertEqual({"signed": 0, "inside": 0, "after": 0}, {k: r.rc for k, r in runs.items()}, runs)
        self.assertEqual(["/p/0/%s.exe" % SR] * 3, requests)
        self.assertEqual(3, len(harness.read_fakepatch(self.log)))

    def test_squatted_instance_mutex_counts_as_another_instance(self):
        pkg = harness.Package(harness.folder_ini("http://127.0.0.1:9/p", 0))
        self.addCleanup(pkg.remove)
        end = self.stand_in("holdmutex", ["deny"])
        try:
            r = pkg.run(["/s"])
        finally:
            end()
        self.assertEqual(7, r.rc, r)
        self.assertEqual(2, len(r.traces), r)
        self.assertRegex(r.traces[0], r"^\[Veldrun\] The instance mutex cannot be made \(error [1-9][0-9]*\): counted as "
                                      r"another instance\n$")
        self.assertEqual("[Veldrun] Process is running\n", r.traces[1])

    def test_log_path_that_is_a_link_is_never_followed(self):
        pkg = harness.Package(harness.folder_ini("http://127.0.0.1:9/p", 0))
        self.addCleanup(pkg.remove)
        for name, link in (("symbolic.log", os.symlink), ("hard.log", os.link)):
            with self.subTest(name):
                target = self.path(name + ".target")
                with open(target, "w") as f:
                    f.write("someone else's file\n")
                link(target, self.path(name))
                r = pkg.run(["/s", "/log", harness.winepath(self.path(name))])
                self.assertEqual(3, r.rc, r)
                refused = [t for t in r.traces if t.startswith("[Veldrun] Log file cannot be opened (error ")]
                if name == "symbolic.log" and not refused:
                    # Wine 8 opens a Unix symbolic link as its target and
                    # reports no reparse point; Windows opens the link itself.
                    self.skipTest("Wine follows a Unix symbolic link and reports no reparse point")
                self.assertEqual(1, len(refused), r)
                self.assertIn("(error %d)" % (1920 if name == "symbolic.log" else 1142), refused[0])
                with open(target) as f:
                    self.assertEqual("someone else's file\n", f.read())
    def test_dlls_planted_beside_the_package_and_in_the_temporary_directory_never_load(self):
        # Beside the package: the DLLs the program used to import. version.dll
        # is left out there: Wine's comctl32 imports it, resolved by the loader
        # before any of the program's code runs (see ARCHITECTURE.md).
        beside = ("bcrypt", "urlmon", "wininet")
        names = beside + ("version",)
        planted = os.path.join(os.path.dirname(harness.tool("planted")), "planted.dll")
        temp = harness.temp_dir()
        log = self.path("planted.log")
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch)
            pkg = harness.Package(harness.folder_ini(server.base + "/p", 0) + "SHA2560=%s\n" %
                                  hashlib.sha256(self.patch).hexdigest())
            self.addCleanup(pkg.remove)
            for folder, planted_names in ((pkg.dir, beside), (temp, names)):
                for name in planted_names:
                    shutil.copyfile(planted, os.path.join(folder, name + ".dll"))
                    self.addCleanup(os.unlink, os.path.join(folder, name + ".dll"))
            # Windows' order: a DLL in the program's folder before the system's.
            overrides = harness.wine_env()["WINEDLLOVERRIDES"] + ";" + ",".join(names) + "=n,b"
            env = harness.fakepatch_env(self.log, extra={"WINEDLLOVERRIDES": overrides,
                                                         "VELDRUN_PLANTED_LOG": harness.winepath(log),
                                                         "VELDRUN_FAKEPATCH_LOAD": "version.dll"})
            r = pkg.run(["/s", "/w"], env=env)
        self.assertEqual(0, r.rc, r)
        self.assertIn("[Veldrun] checkDownloadPin => pin SHA2560 matched\n", r.traces)
        self.assertEqual(1, len(harness.read_fakepatch(self.log)))
        self.assertFalse(os.path.exists(log) and open(log).read(), "planted DLLs loaded")


if __name__ == "__main__":
    unittest.main()
