"""What a process of the user can do to the elevated run, tried with small
Windows programs standing in for one: files rewritten while the run reads
them, a re-tagged signed package, the package swapped under its name, DLLs
planted beside the package and in the temporary directory, a squatted
instance mutex, a log path that is a link. Nothing of it steers the run."""
import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO


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
        harness.shutil.rmtree(self.work, ignore_errors=True)
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


if __name__ == "__main__":
    unittest.main()
