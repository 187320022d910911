"""A run through real network parts: the build served by nginx behind a
relay that answers only squid, with squid as the prefix user's WinINet
proxy. Without the proxy setting the run cannot reach the build."""
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
import netfixtures as nf  # noqa: E402

SR = harness.EXAMPLE_SRNO


class ThroughTheProxy(harness.FakePatchLog, harness.ExampleRunCase):
    def setUp(self):
        super().setUp()
        self.root = tempfile.mkdtemp(prefix="vdr-root-")
        os.makedirs(os.path.join(self.root, "p", "0"))
        with open(os.path.join(self.root, "p", "0", SR + ".exe"), "wb") as f:
            f.write(self.patch)

    def tearDown(self):
        nf.wininet_proxy(None)
        shutil.rmtree(self.root, ignore_errors=True)
        super().tearDown()

    def test_the_users_wininet_proxy_carries_the_download(self):
        with nf.Nginx(self.root) as origin, nf.Squid() as squid, \
                nf.Relay(origin.address, allow_from=squid.outgoing) as relay:
            pkg = harness.Package(harness.folder_ini(relay.base + "/p", 0))
            self.addCleanup(pkg.remove)
            # (proxy set, exit status, what the relay did with the first request)
            for proxied, status, done in ((False, 3, "refused"), (True, 0, "forwarded")):
                with self.subTest(proxied=proxied):
                    del relay.requests[:]
                    nf.wininet_proxy(squid.base.split("://")[1] if proxied else None)
                    r = pkg.run(["/s"], env=harness.fakepatch_env(self.log))
                    self.assertEqual(r.rc, status, r)
                    self.assertEqual(relay.requests[0]["done"], done)
                    self.assertEqual(relay.requests[0]["path"], "/p/0/%s.exe" % SR)
            self.assertIn("squid", relay.requests[0]["headers"].get("via", ""))
            self.assertIn(relay.base + "/p/0/%s.exe" % SR, squid.requests())
            self.assertEqual(1, len(harness.read_fakepatch(self.log, count=1)))


if __name__ == "__main__":
    import unittest
    unittest.main()
