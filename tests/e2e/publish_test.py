"""vdrpack publish end to end: the tree it lays out, served as it is by
nginx (Debian's nginx-light, on a free loopback port, its configuration in
the build tree, the workers unprivileged), is what a package's runs under
Wine request: the numbered folder, the generic build from "max" and the
fallback from "Max" on a server whose paths are case-sensitive, each
started only because the pins publish wrote match."""
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO
HOST_VDRPACK = os.path.join(harness.BUILD, "..", "host", "tools", "vdrpack")
NGINX = shutil.which("nginx") or "/usr/sbin/nginx"
PATCHED_DISC = ("Ombrel Disc Studio", "4.0", SR, "4.00.2400")
ON_FOLDER_1 = ("Ombrel Disc Studio", "4.0", "OMS231120-01", "4.00.2301")
TAPE_ON_FOLDER_1 = ("Tape & Tune", "2.5", "OMS231120-01", "2.50.1904")


class Nginx:
    """nginx serving `root` on a free loopback port until stopped."""

    def __init__(self, root):
        self.dir = tempfile.mkdtemp(prefix="nginx-", dir=harness.BUILD)
        os.chmod(self.dir, 0o755)
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        self.port = probe.getsockname()[1]
        probe.close()
        # Run as root, the master hands the workers to an unprivileged user.
        user = "user nobody nogroup;\n" if os.getuid() == 0 and pwd.getpwnam("nobody") else ""
        conf = os.path.join(self.dir, "nginx.conf")
        with open(conf, "w") as f:
            f.write(user + "daemon off;\nworker_processes 1;\npid %(d)s/nginx.pid;\nerror_log %(d)s/error.log;\n"
                    "events { worker_connections 64; }\n"
                    "http {\n  access_log %(d)s/access.log;\n  client_body_temp_path %(d)s/body;\n"
                    "  proxy_temp_path %(d)s/proxy;\n  fastcgi_temp_path %(d)s/fastcgi;\n"
                    "  uwsgi_temp_path %(d)s/uwsgi;\n  scgi_temp_path %(d)s/scgi;\n"
                    "  types { application/octet-stream exe; }\n"
                    "  server { listen 127.0.0.1:%(p)d; root %(r)s; }\n}\n"
                    % {"d": self.dir, "p": self.port, "r": root})
        self.proc = subprocess.Popen([NGINX, "-p", self.dir, "-c", conf], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE)

        def listening():
            if self.proc.poll() is not None:
                return "ended"
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return "up"
            except OSError:
                return None
        state = harness.wait_until(listening, timeout=60)
        if state != "up":
            self.stop()
            raise AssertionError("nginx did not start: %s" % self.proc.stderr.read().decode(errors="replace"))

    def requests(self):
        """(path, status) of every request served so far, in order."""
        path = os.path.join(self.dir, "access.log")
        if not os.path.exists(path):
            return []
        out = []
        with open(path) as f:
            for line in f:
                request = line.split('"')[1].split()
                out.append((request[1], int(line.split('"')[2].split()[0])))
        return out

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(timeout=60)
        shutil.rmtree(self.dir, ignore_errors=True)


class Publish(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(HOST_VDRPACK):
            raise AssertionError("the host build's vdrpack is missing: run make build-host first")
        cls.patch = harness.fakepatch_bytes()
        cls.root = tempfile.mkdtemp(prefix="vdr-www-", dir=harness.BUILD)
        os.chmod(cls.root, 0o755)
        os.makedirs(os.path.join(cls.root, "patch", "417"))
        os.chmod(os.path.join(cls.root, "patch"), 0o755)
        os.chmod(os.path.join(cls.root, "patch", "417"), 0o755)
        cls.nginx = Nginx(cls.root)

    @classmethod
    def tearDownClass(cls):
        cls.nginx.stop()
        shutil.rmtree(cls.root, ignore_errors=True)

    def published_ini(self, builds):
        """The Ombrel example's file for the nginx server, after vdrpack
        publish laid out `builds` (options such as ["--build", "0"] or
        ["--max"], each followed by the fake patch) and pinned them."""
        work = tempfile.mkdtemp(prefix="vdr-publish-")
        try:
            ini = os.path.join(work, "patch.ini")
            with open(ini, "w", newline="\r\n") as f:
                f.write(harness.example_ini("http://127.0.0.1:%d/patch/417" % self.nginx.port))
            build = os.path.join(work, "build.exe")
            with open(build, "wb") as f:
                f.write(self.patch)
            args = [x for b in builds for x in b + [build]]
            p = subprocess.run([HOST_VDRPACK, "publish", ini] + args + ["--to", os.path.join(self.root, "patch",
                                                                                             "417")],
                               capture_output=True)
            self.assertEqual(p.returncode, 0, p.stderr)
            with open(ini, newline="") as f:
                return f.read().replace("\r\n", "\n")
        finally:
            shutil.rmtree(work, ignore_errors=True)

    def test_the_published_tree_serves_every_request_of_the_run(self):
        # (what, the products installed (example_products' arguments),
        # builds published, the requests with their statuses)
        cases = [
            ("the numbered folder", (), [["--build", "0"], ["--max"]], [("/0/", 200)]),
            ("the generic build from max", (PATCHED_DISC,), [["--build", "0"], ["--max"]], [("/max/", 200)]),
            ("folder 1 not published: the fallback from Max", (ON_FOLDER_1, TAPE_ON_FOLDER_1),
             [["--build", "0"], ["--max"]], [("/1/", 404), ("/Max/", 200)]),
        ]
        for what, products, builds, expected in cases:
            shutil.rmtree(os.path.join(self.root, "patch", "417"))
            os.mkdir(os.path.join(self.root, "patch", "417"))
            ini = self.published_ini(builds)
            harness.example_products(*products)
            log = tempfile.mktemp(prefix="vdr-fake-")
            served = len(self.nginx.requests())
            pkg = harness.Package(ini)
            try:
                r = pkg.run(["/s", "/w"], env=harness.fakepatch_env(log))
            finally:
                pkg.remove()
            starts = harness.read_fakepatch(log)
            if os.path.exists(log):
                os.unlink(log)
            self.assertEqual(0, r.rc, "%s: %r" % (what, r))
            self.assertEqual(1, len(starts), what)
            # The log is written as each request ends: wait for all of them.
            harness.wait_until(lambda: len(self.nginx.requests()) >= served + len(expected), timeout=60)
            got = [(p, s) for p, s in self.nginx.requests()[served:] if p.startswith("/patch/417/")]
            self.assertEqual([("/patch/417%s%s.exe" % (folder, SR), status) for folder, status in expected], got,
                             what)
            self.assertTrue(any("pin SHA256" in t and "matched" in t for t in r.traces), what)


if __name__ == "__main__":
    unittest.main()
