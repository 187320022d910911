"""vdrpack against the program: the package vdrpack builds (natively and as
vdrpack.exe under Wine) is byte for byte the one Veldrun.exe writes in
builder mode, runs under Wine like it, vdrpack.exe's other commands work on
Windows as they do natively, and check reads an installed state as the
program does."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

HOST_VDRPACK = os.path.join(harness.BUILD, "..", "host", "tools", "vdrpack")
WIN_VDRPACK = os.path.join(harness.BUILD, "tools", "vdrpack.exe")

INI = (b"[RegPath]\r\nCount=1\r\nPath0=Software\\Ombrel\\DiscStudio\r\nCheck0=OmbrelDiscStudio 4.0\r\n\r\n"
       b"[SRInfo]\r\nSRNo=OMS240118-02\r\nURL=http://127.0.0.1:9/patch/417\r\nCount=1\r\n"
       b"Info0=OmbrelDiscStudio#OMS230910-01#4.00.2215\r\n")
REG = ("Windows Registry Editor Version 5.00\r\n\r\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ombrel\\DiscStudio\\UserReg]\r\n"
       "\"Prod_Name\"=\"Ombrel Disc Studio\"\r\n\"Prod_Ver\"=\"4.0\"\r\n\r\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ombrel\\DiscStudio\\BuildInfo]\r\n"
       "\"SR_No\"=\"OMS230910-01\"\r\n\"SR_Ver\"=\"4.00.2215\"\r\n")


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Vdrpack(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vdr-vdrpack-")
        self.stub = os.path.join(self.work, "Veldrun.exe")
        shutil.copyfile(harness.VELDRUN_EXE, self.stub)
        with open(os.path.join(self.work, "patch.ini"), "wb") as f:
            f.write(INI)

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.work, name)

    def builder_package(self):
        r = harness.run(self.stub, ["builder.exe", "patch.ini"], cwd=self.work)
        self.assertEqual(r.rc, 0, r)
        return read(self.path("builder.exe"))

    def host_vdrpack(self, *args):
        if not os.path.exists(HOST_VDRPACK):
            self.fail("the host build's vdrpack is missing: run make build-host first")
        return subprocess.run([HOST_VDRPACK] + list(args), capture_output=True, cwd=self.work)

    def test_host_build_equals_builder_mode_and_runs_like_it(self):
        p = self.host_vdrpack("build", "Veldrun.exe", "patch.ini", "-o", "host.exe")
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(read(self.path("host.exe")), self.builder_package())

        # Update mode of the host-built package finds and extracts its file
        # (and removes it at the end of the run).
        r = harness.run(self.path("host.exe"), ["/s"], cwd=self.work)
        extracted = harness.extracted_path(r)
        self.assertIsNotNone(extracted, r)
        self.assertIn("[Veldrun] detachFile => 1\n", r.traces)
        self.assertFalse(os.path.exists(harness.unix_path(extracted)))

    def test_windows_vdrpack_builds_inspects_extracts_checks_and_pins(self):
        r = harness.run(WIN_VDRPACK, ["/?"], cwd=self.work)
        self.assertEqual(r.rc, 0, r.stderr)
        self.assertIn("usage: vdrpack COMMAND", r.stdout)
        r = harness.run(WIN_VDRPACK, ["build", "Veldrun.exe", "patch.ini", "-o", "win.exe"], cwd=self.work)
        self.assertEqual(r.rc, 0, r.stderr)
        self.assertEqual(read(self.path("win.exe")), self.builder_package())

        r = harness.run(WIN_VDRPACK, ["inspect", "win.exe", "--json"], cwd=self.work)
        self.assertEqual(r.rc, 0, r.stderr)
        self.assertIn('"attachedName": "patch.ini"', r.stdout)
        self.assertIn('"executableSize": %d' % os.path.getsize(self.stub), r.stdout)
        self.assertEqual(harness.run(WIN_VDRPACK, ["inspect", "Veldrun.exe"], cwd=self.work).rc, 4)

        os.mkdir(self.path("out"))
        r = harness.run(WIN_VDRPACK, ["extract", "win.exe", "-C", "out"], cwd=self.work)
        self.assertEqual(r.rc, 0, r.stderr)
        self.assertEqual(read(self.path("out/patch.ini")), INI)

        # The platform's own profile reader answers on Windows; a UTF-16
        # export as the registry editor writes it.
        with open(self.path("state.reg"), "wb") as f:
            f.write(b"\xff\xfe" + REG.encode("utf-16-le"))
        r = harness.run(WIN_VDRPACK, ["check", "patch.ini", "--registry", "state.reg"], cwd=self.work)
        self.assertEqual(r.rc, 0, r.stderr)
        self.assertIn("outcome: applicable", r.stdout)
        self.assertIn("first: http://127.0.0.1:9/patch/417/0/OMS240118-02.exe", r.stdout)
        self.assertIn("fallback: http://127.0.0.1:9/patch/417/Max/OMS240118-02.exe", r.stdout)

        # The Windows tool writes the same pin and size.
        with open(self.path("build0.exe"), "wb") as f:
            f.write(b"abc")
        r = harness.run(WIN_VDRPACK, ["pin", "patch.ini", "--build", "0", "build0.exe"], cwd=self.work)
        self.assertEqual(r.rc, 0, r.stderr)
        self.assertEqual(read(self.path("patch.ini")),
                         INI + b"SHA2560=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\r\nSize0=3\r\n")

    def test_expandable_strings_give_the_programs_outcome(self):
        # Both products carry the patch's SR number as REG_EXPAND_SZ, which
        # the program reads like a plain string: already applied (status 4),
        # which check reports as 12. Read as missing, it would be a product
        # error (1 and 10).
        def hex2(text):
            return "hex(2):" + ",".join("%02x" % b for b in (text + "\0").encode("utf-16-le"))
        reg = ["Windows Registry Editor Version 5.00", ""]
        for key, name, ver in ((harness.EXAMPLE_KEYS[0], "Ombrel Disc Studio", "4.00.2400"),
                               (harness.EXAMPLE_KEYS[1], "Tape & Tune", "2.50.1990")):
            key = harness.reg_view_key(key)  # where the 32-bit program reads
            reg += ["[HKEY_LOCAL_MACHINE\\%s\\UserReg]" % key, '"Prod_Name"="%s"' % name,
                    '"Prod_Ver"=%s' % hex2(name == "Tape & Tune" and "2.5" or "4.0"), "",
                    "[HKEY_LOCAL_MACHINE\\%s\\BuildInfo]" % key,
                    '"SR_No"=%s' % hex2(harness.EXAMPLE_SRNO), '"SR_Ver"="%s"' % ver, ""]
        # One UTF-16 file, as regedit /e writes it, for both the registry and the tool.
        with open(self.path("state.reg"), "wb") as f:
            f.write(b"\xff\xfe" + ("\r\n".join(reg) + "\r\n").encode("utf-16-le"))
        ini = harness.example_ini("http://127.0.0.1:9/patch/417")
        harness.remove_example_products()
        pkg = None
        try:
            r = harness.run("regedit", ["/S", harness.winepath(self.path("state.reg"))],
                            env=harness.wine_env(debug="-all"))
            self.assertEqual(r.rc, 0, r)
            pkg = harness.Package(ini)
            program = pkg.run(["/s"])
            with open(self.path("example.ini"), "w") as f:
                f.write(ini)
            tool = self.host_vdrpack("check", "example.ini", "--registry", "state.reg")
            self.assertEqual((program.rc, tool.returncode), (4, 12), (program, tool.stdout))
        finally:
            harness.remove_example_products()
            if pkg:
                pkg.remove()


if __name__ == "__main__":
    unittest.main()
