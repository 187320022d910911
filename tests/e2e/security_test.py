"""What a process of the user can do to the elevated run, tried with small
Windows programs standing in for one: files rewritten while the run reads
them, a re-tagged signed package, the package swapped under its name, DLLs
planted beside the package, in the temporary directory, the working
directory and the user's PATH, a squatted instance mutex, a log path that is
a link, the user's TEMP a link re-pointed while the run goes on. Nothing of
it steers the run."""
import hashlib
import os
import re
import shutil
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from signer_test import make_certificate, sign  # noqa: E402

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

    def signed_package(self, server):
        """A package of the server's folder /p signed with osslsigncode, and
        the signed file's bytes."""
        honest = harness.Package(harness.folder_ini(server.base + "/p", 0))
        self.addCleanup(honest.remove)
        signed = os.path.join(honest.dir, "signed.exe")
        harness.sign_package(honest.exe, signed)
        with open(signed, "rb") as f:
            return honest, f.read()

    def test_files_rewritten_during_runs_are_never_followed(self):
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch)
            server.routes["/evil/0/%s.exe" % SR] = harness.Route(self.patch)
            with open(self.path("evil.ini"), "w", newline="\r\n") as f:
                f.write(harness.folder_ini(server.base + "/evil", 0))
            end = self.stand_in("rewriter", [harness.winepath(harness.run_root()),
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

    def test_signed_package_swapped_for_a_same_header_copy_is_never_read(self):
        # The copy's patch information file is rewritten in place (a URL of
        # the same length): headers, checksum and certificate table stay the
        # started package's; only the signature no longer verifies. An
        # unchanged copy under the name runs as the package itself.
        with harness.PatchServer() as server:
            for folder in ("p", "e"):
                server.routes["/%s/0/%s.exe" % (folder, SR)] = harness.Route(self.patch)
            honest, data = self.signed_package(server)
            url = ("URL=%s/p\r\n" % server.base).encode()
            self.assertEqual(1, data.count(url))
            runs, requests = {}, {}
            for name, copy in (("copy", data), ("rewritten", data.replace(url, url.replace(b"/p", b"/e")))):
                started, other = os.path.join(honest.dir, name + ".exe"), os.path.join(honest.dir, name + ".in")
                for path in (started, other):
                    with open(path, "wb") as f:
                        f.write(data if path == started else copy)
                del server.requests[:]
                runs[name] = harness.run(harness.tool("swapstart"),
                                         [harness.winepath(started), harness.winepath(other), "/s", "/w"],
                                         env=harness.fakepatch_env(self.log))
                requests[name] = list(server.requests)
        self.assertEqual({"copy": 0, "rewritten": 8}, {k: r.rc for k, r in runs.items()}, runs)
        self.assertEqual({"copy": ["/p/0/%s.exe" % SR], "rewritten": []}, requests)
        self.assertIn("[Veldrun] The package file's signature does not verify (WinVerifyTrust: 0x80096010), "
                      "nothing read\n", runs["rewritten"].traces)
        self.assertIn("[Veldrun] detachFile => 2\n", runs["rewritten"].traces)
        self.assertEqual(1, len(harness.read_fakepatch(self.log)))

    def test_signed_package_retagged_in_or_after_its_table_runs_as_signed(self):
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch)
            server.routes["/evil/0/%s.exe" % SR] = harness.Route(self.patch)
            honest, signed_bytes = self.signed_package(server)
            evil = harness.folder_ini(server.base + "/evil", 0).replace("\n", "\r\n").encode()
            runs = {}
            for name, data in (("signed", signed_bytes), ("inside", retagged(signed_bytes, evil, True)),
                               ("after", retagged(signed_bytes, evil, False))):
                path = os.path.join(honest.dir, name + ".exe")
                with open(path, "wb") as f:
                    f.write(data)
                runs[name] = harness.run(path, ["/s", "/w"], env=harness.fakepatch_env(self.log))
            requests = list(server.requests)
        # Bytes after the table are outside the signature too, but Wine's
        # WinVerifyTrust finds no signature in such a file (0x800B0100): that
        # package is refused unread.
        self.assertEqual({"signed": 0, "inside": 0, "after": 8}, {k: r.rc for k, r in runs.items()}, runs)
        self.assertEqual(["/p/0/%s.exe" % SR] * 2, requests)
        self.assertEqual(2, len(harness.read_fakepatch(self.log)))

    def test_squatted_instance_mutex_counts_as_another_instance(self):
        pkg = harness.Package(harness.folder_ini("http://127.0.0.1:9/p", 0))
        self.addCleanup(pkg.remove)
        end = self.stand_in("holdmutex", ["deny"])
        try:
            r = pkg.run(["/s"])
        finally:
            end()
        self.assertEqual(7, r.rc, r)
        self.assertEqual(4, len(r.traces), r)
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
                self.assertIn("(error %d ERROR_" % (1920 if name == "symbolic.log" else 1142), refused[0])
                with open(target) as f:
                    self.assertEqual("someone else's file\n", f.read())
    def test_dlls_planted_beside_the_package_and_in_the_temporary_directory_never_load(self):
        # Beside the package: the DLLs the program used to import, and
        # version.dll, which Wine's user32 and comctl32 import.
        names = ("bcrypt", "urlmon", "wininet", "version")
        planted = os.path.join(os.path.dirname(harness.tool("planted")), "planted.dll")
        temp = harness.temp_dir()
        log = self.path("planted.log")
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch)
            pkg = harness.Package(harness.folder_ini(server.base + "/p", 0) + "SHA2560=%s\n" %
                                  hashlib.sha256(self.patch).hexdigest())
            self.addCleanup(pkg.remove)
            for folder in (pkg.dir, temp):
                for name in names:
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


    def test_dll_the_patch_loads_by_name_never_comes_from_the_working_directory_or_the_users_path(self):
        planted = os.path.join(os.path.dirname(harness.tool("planted")), "planted.dll")
        with harness.PatchServer() as server:
            server.routes["/p/0/%s.exe" % SR] = harness.Route(self.patch)
            for where in ("working directory", "user PATH"):
                with self.subTest(where):
                    pkg = harness.Package(harness.folder_ini(server.base + "/p", 0))
                    self.addCleanup(pkg.remove)
                    tag = where.replace(" ", "-")
                    user_bin, log, fake = (self.path(n + tag) for n in ("bin-", "planted.log-", "fake.log-"))
                    os.mkdir(user_bin)
                    # A name no system DLL has: searched for along the whole order.
                    shutil.copyfile(planted, os.path.join(pkg.dir if where == "working directory" else user_bin,
                                                          "vdrhelper.dll"))
                    env = harness.fakepatch_env(fake, extra={"VELDRUN_PLANTED_LOG": harness.winepath(log),
                                                                 "VELDRUN_FAKEPATCH_LOAD": "vdrhelper.dll"})
                    with harness.user_environment({"PATH": harness.winepath(user_bin)}):
                        r = harness.run(pkg.exe, ["/s", "/w"], env=env, cwd=pkg.dir)
                    loaded = ""
                    if os.path.exists(log):
                        with open(log) as f:
                            loaded = f.read()
                    self.assertEqual((0, 1, ""), (r.rc, len(harness.read_fakepatch(fake)), loaded), r)


class LinkedTemp(harness.ExampleRunCase):
    """The user's TEMP and TMP (HKCU\\Environment, which the elevated run
    inherits) name a link the user re-points while the run goes on (a Unix
    symbolic link in the prefix stands for the junction). The package is
    signed and pinned with Signer=package, the patch signed by the same
    certificate: all the user can change is where names lead."""

    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp(prefix="vdr-link-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.certificate = make_certificate(self.work, "A")
        unsigned, signed = os.path.join(self.work, "unsigned.exe"), os.path.join(self.work, "signed.exe")
        with open(unsigned, "wb") as f:
            f.write(self.patch)
        sign(self.certificate, unsigned, signed)
        with open(signed, "rb") as f:
            self.honest = f.read()
        self.foreign = self.patch + b"\0" * 512  # unsigned; its recorded size tells it apart

    def attack(self, moment, handle, d, inis, log):
        """The user's process: waits for its moment, plants under d["other"]
        a folder of the run's name and re-points d["link"] there; opens the
        patch's gate once the patch has recorded its start or the run ended.
        inis: the package's own patch information file (the user can read the
        package) and the user's."""
        def run_folder():
            names = [n for n in os.listdir(d["real"]) if re.fullmatch(r"vdr[0-9a-f]{16}", n)]
            return names[0] if names else None

        def download():  # (folder, build name) once the transfer has begun
            name = run_folder()
            exes = [e for e in os.listdir(os.path.join(d["real"], name)) if e.endswith(".exe")] if name else []
            return (name, exes[0]) if exes else None

        def started():
            return bool(harness.read_fakepatch(log))

        def held():
            with open(handle[2], "rb") as f:
                return "CBSCallbackImpl::OnStopBinding\n" in harness.parse_traces(f.read().decode("utf-8", "replace"))

        def ended():
            return handle[0].poll() is not None

        def write(path, data):
            with open(os.path.join(d["other"], *path), "wb") as f:
                f.write(data)

        try:
            if moment == "folder appears":
                name = harness.wait_until(lambda: run_folder() or started() or ended(), step=0.002)
                if isinstance(name, str):
                    os.mkdir(os.path.join(d["other"], name))
                    write((name, "patch.ini"), inis[1])
            elif moment == "download judged":
                # The package's own file beside the other program: the
                # judging finds what it would have found. Re-pointed once the
                # download is held, before it is judged and started.
                found = harness.wait_until(lambda: download() or started() or ended(), step=0.002)
                if isinstance(found, tuple):
                    os.mkdir(os.path.join(d["other"], found[0]))
                    write(found, self.foreign)
                    write((found[0], "patch.ini"), inis[0])
                    harness.wait_until(lambda: held() or ended(), step=0.001)
            else:
                harness.wait_until(lambda: started() or ended())
                if run_folder():
                    os.symlink(d["victim"], os.path.join(d["other"], run_folder()))
            if os.listdir(d["other"]):
                os.symlink(d["other"], d["link"] + ".new")
                os.replace(d["link"] + ".new", d["link"])
        except OSError:
            pass  # the run's folder went with the run
        finally:
            harness.wait_until(lambda: started() or ended())
            open(d["gate"], "w").close()

    def test_temp_through_a_link_repointed_at_the_worst_moments_is_never_followed(self):
        for moment in ("folder appears", "download judged", "patch started"):
            with self.subTest(moment):
                base = tempfile.mkdtemp(prefix="m-", dir=self.work)
                d = {n: os.path.join(base, n) for n in ("real", "other", "victim", "link", "gate")}
                for n in ("real", "other", "victim"):
                    os.mkdir(d[n])
                open(os.path.join(d["victim"], "keep.txt"), "w").close()
                os.symlink(d["real"], d["link"])
                log = os.path.join(base, "fakepatch.log")
                with harness.PatchServer() as server:
                    server.routes["/p/0/%s.exe" % SR] = harness.Route(self.honest)
                    server.routes["/evil/0/%s.exe" % SR] = harness.Route(self.foreign)
                    ini = harness.folder_ini(server.base + "/p", 0) + "SHA2560=%s\nSigner=package\n" % (
                        hashlib.sha256(self.honest).hexdigest())
                    inis = [t.replace("\n", "\r\n").encode() for t in (ini, harness.folder_ini(server.base + "/evil", 0))]
                    pkg = harness.Package(ini)
                    self.addCleanup(pkg.remove)
                    signed = os.path.join(pkg.dir, "signed.exe")
                    sign(self.certificate, pkg.exe, signed)
                    env = harness.fakepatch_env(log, extra={"VELDRUN_FAKEPATCH_GATE": harness.winepath(d["gate"])})
                    link = harness.winepath(d["link"])
                    with harness.user_environment({"TEMP": link, "TMP": link}):
                        handle = harness.start(signed, ["/s", "/w"], env=env)
                        user = threading.Thread(target=self.attack, args=(moment, handle, d, inis, log))
                        user.start()
                        try:
                            r = harness.finish(handle, timeout=300)
                        finally:
                            user.join()
                    requests = list(server.requests)
                starts = harness.read_fakepatch(log)
                victim = os.listdir(d["victim"]) if os.path.isdir(d["victim"]) else "victim folder gone"
                self.assertEqual((0, ["/p/0/%s.exe" % SR], [len(self.honest)], ["keep.txt"]),
                                 (r.rc, requests, [s["size"] for s in starts], victim), r)
                # The patch's TEMP is a folder of the run, not the user's.
                self.assertTrue(starts[0]["temp"].lower().endswith("\\tmp"), starts)
                self.assertFalse(starts[0]["temp"].lower().startswith(harness.winepath(base).lower()), starts)


if __name__ == "__main__":
    unittest.main()
