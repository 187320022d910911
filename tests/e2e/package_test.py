"""Builder mode of Veldrun.exe end to end: the usage text, the package it
writes, what update mode extracts from it, and a package code-signed after
it was built."""
import os
import shutil
import struct
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

INI = (b"[RegPath]\r\nCount=1\r\nPath0=Software\\Ombrel\\DiscStudio\r\nCheck0=OmbrelDiscStudio 4.0\r\n"
       b"[SRInfo]\r\nSRNo=OMS240118-02\r\nURL=http://127.0.0.1:8080/patch/417\r\n")
USAGE = ["Usage: %s <TargetFile> <AppendFile>",
         "TargetFile is executable you want to create that will be self extracted.",
         "AppendFile is the file you want to attach to target File."]


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Builder(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # The product the file names is not installed: an update run of the
        # package ends in the product error (exit status 1).
        harness.reg_delete("Software\\Ombrel\\DiscStudio")

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vdr-build-")
        self.exe = os.path.join(self.work, "Veldrun.exe")
        shutil.copyfile(harness.VELDRUN_EXE, self.exe)
        self.program = read(self.exe)
        with open(os.path.join(self.work, "patch.ini"), "wb") as f:
            f.write(INI)

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def build(self, *args, exe=None):
        return harness.run(exe or self.exe, list(args), cwd=self.work)

    def path(self, name):
        return os.path.join(self.work, name)

    def expected_package(self, name=b"patch.ini", content=INI):
        head = self.program + struct.pack("<I", len(name)) + name + content + struct.pack("<I", len(self.program))
        return head + harness.marker_field_text() + b"\0"

    def assert_package(self, data):
        want = self.expected_package()
        self.assertEqual(len(want) + 1, len(data))
        self.assertEqual(want, data[:-1])  # the last byte carries no meaning

    def extract(self, package, *args):
        """Runs a package visibly and returns (Run, the extracted file's bytes).
        The run removes its extracted file at its end, so the file is read
        while the run stands at its product error box."""
        before = harness.run_folder_files()
        handle = harness.start(package, list(args), cwd=self.work)
        data, last, host, end = None, None, None, time.time() + 60
        while data is None and handle[0].poll() is None and time.time() < end:
            found = [f for f in harness.run_folder_files() if f not in before]
            host = found[0] if found else host
            now = read(host) if host and os.path.exists(host) else None
            data = now if now is not None and now == last else None
            last = now
            time.sleep(0.3)
        boxes = []
        while handle[0].poll() is None and time.time() < end + 60:
            box = harness.winctl("msgbox", 1500)
            if box.rc == 0:
                boxes.append(box.stdout.strip())
        r = harness.finish(handle)
        r.boxes = boxes
        self.assertEqual(harness.unix_path(harness.extracted_path(r)), host, r)
        self.assertFalse(os.path.exists(host), "the extracted file stays behind")
        return r, data

    def test_program_holds_no_marker(self):
        self.assertNotIn(harness.marker_field_text() + b"\0", self.program)

    def test_usage_text_with_too_few_arguments(self):
        for args in ([], ["only-target.exe"]):
            with self.subTest(args=args):
                r = self.build(*args)
                self.assertEqual(1, r.rc, r)
                lines = r.stdout.replace("\r\n", "\n").split("\n")
                self.assertEqual([USAGE[0] % harness.winepath(self.exe)] + USAGE[1:] + [""], lines)
                self.assertFalse(os.path.exists(self.path("only-target.exe")))

    def test_package_written_and_extracted_byte_for_byte(self):
        with open(self.path("package.exe"), "wb") as f:
            f.write(b"an older file in the way")
        r = self.build("package.exe", "patch.ini", "ignored", "/s")
        self.assertEqual(0, r.rc, r)
        self.assertEqual("", r.stdout)
        self.assert_package(read(self.path("package.exe")))
        r, data = self.extract(self.path("package.exe"))
        self.assertEqual(1, r.rc, r)
        self.assertEqual(1, len(r.boxes), r)
        self.assertEqual(INI, data)

    def test_attachment_that_cannot_be_opened_leaves_the_plain_copy(self):
        r = self.build("package.exe", "missing.ini")
        self.assertEqual(4, r.rc, r)
        self.assertEqual(self.program, read(self.path("package.exe")))

    def test_name_a_package_cannot_carry_is_refused_before_copying(self):
        os.mkdir(self.path("sub"))
        shutil.copyfile(self.path("patch.ini"), self.path("sub/patch.ini"))
        r = self.build("package.exe", "sub/patch.ini")
        self.assertEqual(6, r.rc, r)
        self.assertFalse(os.path.exists(self.path("package.exe")))

    def test_target_path_longer_than_259_bytes_is_refused(self):
        deep = os.path.join(self.work, *(["d" * 60] * 4))
        os.makedirs(deep)
        target = harness.winepath(os.path.join(deep, "package.exe"))
        self.assertGreater(len(target), 259)
        r = self.build(target, "patch.ini")
        self.assertEqual(3, r.rc, r)
        self.assertEqual([], os.listdir(deep))

    def test_program_started_under_an_unusable_name_copies_nothing(self):
        # The command line names "Veldrun" (no extension, no such file here):
        # the copy fails and the existing target stays as it was.
        with open(self.path("package.exe"), "wb") as f:
            f.write(b"keep me")
        r = harness.run(harness.tool("spawn"), [harness.winepath(self.exe), "Veldrun package.exe patch.ini"],
                        cwd=self.work)
        self.assertEqual(5, r.rc, r)
        self.assertEqual(b"keep me", read(self.path("package.exe")))
        r = harness.run(harness.tool("spawn"), [harness.winepath(self.exe), "Veldrun new.exe patch.ini"],
                        cwd=self.work)
        self.assertEqual(5, r.rc, r)
        self.assertFalse(os.path.exists(self.path("new.exe")))

    def test_package_signed_after_building_still_extracts(self):
        self.assertEqual(0, self.build("package.exe", "patch.ini").rc)
        added = harness.sign_package(self.path("package.exe"), self.path("signed.exe"))
        self.assertGreater(added, 0)

        info = harness.run(harness.tool("pkginfo"), [self.path("signed.exe")])
        self.assertEqual("1 %d" % added, info.stdout.strip(), info)
        info = harness.run(harness.tool("pkginfo"), [self.path("package.exe")])
        self.assertEqual("1 0", info.stdout.strip(), info)

        r, data = self.extract(self.path("signed.exe"))
        self.assertEqual(1, r.rc, r)
        self.assertEqual(INI, data)


if __name__ == "__main__":
    unittest.main()
