"""The built vdrpack program: its output streams and exit statuses as a
release pipeline sees them. Usage: vdrpack_cli_test.py PATH-OF-VDRPACK"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

VDRPACK = sys.argv.pop(1) if len(sys.argv) > 1 else "vdrpack"
INI = b"[SRInfo]\r\nSRNo=OMS240118-02\r\nURL=http://srv/patch/417\r\nCount=0\r\n"


def vdrpack(*args, cwd=None):
    p = subprocess.run([VDRPACK] + list(args), capture_output=True, cwd=cwd)
    return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")


class Cli(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vdrpack-cli-")
        self.stub = os.path.join(self.dir, "stub.exe")
        with open(self.stub, "wb") as f:
            f.write(b"MZ" + bytes(2000))
        with open(os.path.join(self.dir, "patch.ini"), "wb") as f:
            f.write(INI)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def test_build_inspect_extract_pin_round_trip(self):
        rc, out, err = vdrpack("build", "stub.exe", "patch.ini", "-o", "pkg.exe", cwd=self.dir)
        self.assertEqual((rc, err), (0, ""))
        rc, out, err = vdrpack("inspect", "pkg.exe", "--json", cwd=self.dir)
        self.assertEqual(rc, 0, err)
        self.assertIn('"attachedName": "patch.ini"', out)
        os.mkdir(os.path.join(self.dir, "x"))
        rc, out, err = vdrpack("extract", "pkg.exe", "-C", "x", cwd=self.dir)
        self.assertEqual(rc, 0, err)
        with open(os.path.join(self.dir, "x", "patch.ini"), "rb") as f:
            self.assertEqual(f.read(), INI)
        rc, out, err = vdrpack("pin", "patch.ini", "--max", "stub.exe", cwd=self.dir)
        self.assertEqual(rc, 0, err)
        with open(os.path.join(self.dir, "patch.ini"), "rb") as f:
            self.assertTrue(f.read().startswith(INI + b"SHA256Max="))

    def test_exit_statuses_and_messages_on_stderr(self):
        cases = [
            ((), 2),
            (("frobnicate",), 2),
            (("inspect", "missing.exe"), 3),
            (("inspect", "stub.exe"), 4),
            (("check", "patch.ini", "--registry", "patch.ini"), 5),
        ]
        for args, status in cases:
            rc, out, err = vdrpack(*args, cwd=self.dir)
            self.assertEqual(rc, status, args)
            self.assertTrue(err.strip(), args)
        rc, out, err = vdrpack("--help")
        self.assertEqual((rc, err), (0, ""))
        self.assertIn("usage: vdrpack", out)


if __name__ == "__main__":
    unittest.main()
