"""The built vdrpack program: its output streams, exit statuses and JSON
documents as a release pipeline sees them, and the lint on a table of
broken patch information files. Usage: vdrpack_cli_test.py PATH-OF-VDRPACK"""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import jsonschema

VDRPACK = sys.argv.pop(1) if len(sys.argv) > 1 else "vdrpack"
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..")
INI = (b"[RegPath]\r\nCount=1\r\nPath0=Software\\Ombrel\\DiscStudio\r\nCheck0=OmbrelDiscStudio 4.0\r\n"
       b"[SRInfo]\r\nSRNo=OMS240118-02\r\nURL=https://srv/patch/417\r\nCount=0\r\n")
# A PE header that the build command accepts as a stub.
STUB = b"MZ" + bytes(0x3A) + b"\x40\0\0\0" + b"PE\0\0" + bytes(2000)

# The Ombrel example's file, sound, with https so that only the note remains.
GOOD = """[RegPath]
Count=2
Path0=Software\\Ombrel\\DiscStudio
Check0=OmbrelDiscStudio 4.0
NoVerCheck0=0
Path1=Software\\Ombrel\\TapeTune
Check1=Tape_Tune 2.5
NoVerCheck1=1

[SRInfo]
SRNo=OMS240118-02
URL=https://srv/patch/417
Count=2
Info0=OmbrelDiscStudio#OMS230910-01#4.00.2215;Tape_Tune#OMS230910-01#2.50.1870
Info1=OmbrelDiscStudio#OMS231120-01#4.00.2301;Tape_Tune#OMS231120-01#2.50.1904
"""
PIN = "SHA256%s=" + "ab" * 32
SRINFO = GOOD[GOOD.index("[SRInfo]"):]

# (what is wrong, the file, the codes of its errors and warnings, exit status)
BROKEN = [
    ("sound", GOOD, set(), 0),
    ("no [SRInfo]", GOOD.replace(SRINFO, ""), {"missing-section"}, 1),
    ("typo'd SRNo", GOOD.replace("SRNo=", "SRN0="), {"misspelled-key", "srno-missing"}, 1),
    ("typo'd [RegPath] Count", GOOD.replace("Count=2\nPath0", "Cuont=2\nPath0"),
     {"misspelled-key", "count-missing", "beyond-count"}, 1),
    ("Count=3 with two entries", GOOD.replace("Count=2\nPath0", "Count=3\nPath0"), {"entry-missing"}, 1),
    ("Count outside 0 to 1000", GOOD.replace("Count=2\nPath0", "Count=-1\nPath0"),
     {"count-invalid", "beyond-count"}, 1),
    ("URL without scheme", GOOD.replace("https://", ""), {"url-scheme"}, 1),
    ("no URL", GOOD.replace("URL=https://srv/patch/417\n", ""), {"url-missing"}, 1),
    ("URL with a trailing slash", GOOD.replace("/417\n", "/417/\n"), {"url-trailing-slash"}, 1),
    ("Chek0", GOOD.replace("Check0", "Chek0"), {"misspelled-key", "entry-missing"}, 1),
    ("SHA256_0", GOOD + PIN.replace("%s", "_0") + "\n", {"misspelled-key"}, 1),
    ("key contained in an earlier entry", GOOD.replace("Info1=OmbrelDiscStudio#OMS231120-01#4.00.2301",
                                                         "Info1=OmbrelDiscStudio#OMS230910-01#4.00.221"),
     {"key-contained"}, 1),
    ("build 0 pinned, the generic build not", GOOD + PIN % "0" + "\n", {"generic-unpinned"}, 0),
    ("plain http without pins", GOOD.replace("https://", "http://"), {"http-unpinned"}, 0),
    ("Info not name#SR#version", GOOD.replace("Info0=OmbrelDiscStudio#OMS230910-01#4.00.2215;Tape_Tune#OMS230910-01"
                                              "#2.50.1870", "Info0=OmbrelDiscStudio 4.00.2215"),
     {"info-malformed", "info-incomplete"}, 1),
    ("Info beyond Count", GOOD + "Info2=Tape_Tune#OMS1#2.50\n", {"beyond-count"}, 0),
    ("pin beyond Count", GOOD + PIN % "5" + "\n" + PIN % "Max" + "\n", {"beyond-count"}, 0),
    ("only a pin beyond Count: no pin the run counts", GOOD + PIN % "5" + "\n", {"beyond-count"}, 0),
    ("pin not 64 hex digits", GOOD + "SHA256Max=abc\n", {"pin-invalid"}, 1),
    ("Signer neither package nor 64 hex digits", GOOD + "Signer=CN=Ombrel\n", {"signer-form"}, 1),
    ("plain http with a Signer", GOOD.replace("https://", "http://") + "Signer=package\n", set(), 0),
    ("duplicate key", GOOD.replace("SRNo=OMS240118-02\n", "SRNo=OMS240118-02\nsrno=X\n"), {"duplicate-key"}, 0),
    ("duplicate section", GOOD + "[SRInfo]\nPID=1\n", {"duplicate-section"}, 0),
    ("NoVerCheck1=yes", GOOD.replace("NoVerCheck1=1", "NoVerCheck1=yes"), {"noverchk-value"}, 0),
    ("Path with its root", GOOD.replace("Path0=", "Path0=HKEY_LOCAL_MACHINE\\"), {"path-form"}, 1),
    ("[SRInfo without bracket", GOOD.replace("[SRInfo]", "[SRInfo"),
     {"unclosed-section", "missing-section", "unknown-key", "key-wrong-section", "duplicate-key"}, 1),
    ("empty file", "", {"missing-section"}, 1),
    ("hand-off keys, each in range", GOOD + "SilentArgs=/S\nArgs=/D=C:\\x\nStallSeconds=5\nDownloadSeconds=86400\n"
     "Size0=1\nSizeMax=2147483648\n", set(), 0),
    ("hand-off keys out of range", GOOD + "StallSeconds=4\nDownloadSeconds=9\n", {"seconds-out-of-range"}, 0),
    ("size not in bytes", GOOD + "Size0=12k\nSizeMax=2147483649\n", {"size-invalid"}, 1),
    ("size beyond Count", GOOD + "Size2=10\n", {"beyond-count"}, 0),
    ("typo'd SilentArgs", GOOD + "SilentArg=/S\n", {"misspelled-key"}, 1),
    ("an NSIS installer without SilentArgs", "; built with NSIS 3.08\n" + GOOD, {"silent-args-missing"}, 0),
    ("an Inno Setup installer named so", GOOD.replace("SRNo=OMS240118-02", "SRNo=OMS240118-02-InnoSetup"),
     {"silent-args-missing"}, 0),
    ("a burning suite, no installer named", "; Disc burning, innovative\n" + GOOD, set(), 0),
]

# A SRNo or URL whose characters change the request: (the file's line, the
# code, the URL the run requests for the generic build).
REQUESTS = [
    ("SRNo=..\\..\\..\\x", "srno-characters", "https://srv/x.exe"),
    ("SRNo=OMS#frag", "srno-characters", "https://srv/patch/417/max/OMS"),
    ("SRNo=OMS?x", "srno-characters", "https://srv/patch/417/max/OMS?x.exe"),
    ("SRNo=a/b", "srno-characters", "https://srv/patch/417/max/a/b.exe"),
    ("SRNo=OMS 1", "srno-characters", "https://srv/patch/417/max/OMS 1.exe"),
    ("SRNo=OMS%2e", "srno-characters", "https://srv/patch/417/max/OMS%2e.exe"),
    ("SRNo=OMS\x01", "srno-characters", "https://srv/patch/417/max/OMS\x01.exe"),
    ("URL=https://srv/patch/../417", "url-characters", "https://srv/417/max/OMS240118-02.exe"),
    ("URL=https://srv/patch\\417", "url-characters", "https://srv/patch/417/max/OMS240118-02.exe"),
    ("URL=https://srv/p?417", "url-characters", "https://srv/p?417/max/OMS240118-02.exe"),
    ("URL=https://srv/p%20417", "url-characters", "https://srv/p%20417/max/OMS240118-02.exe"),
]

# Many findings of one code: (what, the file, the code, how many in all).
MANY = [
    ("1000 products, 1000 entries of one key each",
     "[RegPath]\nCount=1000\n" + "".join("Path%d=Software\\V\\P%d\nCheck%d=P%d 1.0\n" % (i, i, i, i)
                                            for i in range(1000))
     + "[SRInfo]\nSRNo=S1\nURL=https://srv/p\nCount=1000\n"
     + "".join("Info%d=P%d#S0#1.%d\n" % (i, i, i) for i in range(1000)), "info-incomplete", 999000),
    ("twelve duplicate keys", GOOD + "PID=1\n" * 13, "duplicate-key", 12),
    ("six unknown keys", GOOD + "".join("Zz%d=1\n" % i for i in range(6)), "unknown-key", 6),
]


def vdrpack(*args, cwd=None):
    p = subprocess.run([VDRPACK] + list(args), capture_output=True, cwd=cwd)
    return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")


class Cli(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vdrpack-cli-")
        self.stub = os.path.join(self.dir, "stub.exe")
        with open(self.stub, "wb") as f:
            f.write(STUB)
        with open(os.path.join(self.dir, "patch.ini"), "wb") as f:
            f.write(INI)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def write(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)

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

    def test_two_pins_at_once_both_land_or_one_fails(self):
        # Twenty pairs of pins of one file started together: each pin that
        # says "done" is in the file afterwards.
        ini = os.path.join(self.dir, "patch.ini")
        for turn in range(20):
            self.write("patch.ini", INI)
            pins = [subprocess.Popen([VDRPACK, "pin", ini] + option + [self.stub], stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE) for option in (["--build", "0"], ["--max"])]
            done = [p.communicate(timeout=120) and p.returncode for p in pins]
            with open(ini, "rb") as f:
                text = f.read()
            for rc, key in zip(done, (b"SHA2560=", b"SHA256Max=")):
                self.assertIn(rc, (0, 6), turn)
                if rc == 0:
                    self.assertIn(key, text, "turn %d: a pin said done and is lost" % turn)
            self.assertEqual([n for n in os.listdir(self.dir) if "vdrpack" in n], [])

    def test_exit_statuses_and_messages_on_stderr(self):
        cases = [
            ((), 2),
            (("frobnicate",), 2),
            (("inspect", "missing.exe"), 3),
            (("inspect", "stub.exe"), 4),
            (("check", "patch.ini", "--registry", "patch.ini"), 5),
            (("pin", "stub.exe", "--max", "patch.ini"), 7),
        ]
        for args, status in cases:
            rc, out, err = vdrpack(*args, cwd=self.dir)
            self.assertEqual(rc, status, args)
            self.assertTrue(err.strip(), args)
        rc, out, err = vdrpack("inspect", "missing.exe", cwd=self.dir)
        self.assertEqual(err, "vdrpack: missing.exe: cannot read the file\n")
        for args in (("--help",), ("/?",), ("help",)):
            rc, out, err = vdrpack(*args)
            self.assertEqual((rc, err), (0, ""))
            self.assertIn("usage: vdrpack COMMAND", out)
        for args in (("help", "lint"), ("lint", "/?")):
            self.assertTrue(vdrpack(*args)[1].startswith("usage: vdrpack lint"), args)

    def test_result_schema_is_the_documented_one(self):
        with open(os.path.join(SOURCE, "docs", "result.schema.json")) as f:
            documented = f.read()
        self.assertEqual((0, documented, ""), vdrpack("schema", "result"))
        jsonschema.Draft202012Validator.check_schema(json.loads(documented))
        self.assertEqual(2, vdrpack("schema", "log")[0])

    def test_version_is_the_projects(self):
        with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
            version = re.search(r"project\(Veldrun VERSION ([0-9.]+)", f.read()).group(1)
        self.assertEqual(vdrpack("--version"), (0, "vdrpack %s\n" % version, ""))

    def test_broken_files_are_flagged_with_codes_and_status(self):
        for what, text, codes, status in BROKEN:
            self.write("t.ini", text.encode("latin-1"))
            rc, out, err = vdrpack("lint", "t.ini", "--json", cwd=self.dir)
            doc = json.loads(out)
            self.validate(doc, "lint")
            found = {f["code"] for f in doc["findings"] if f["severity"] != "note"}
            self.assertEqual((found, rc), (codes, status), what)
            self.assertEqual(doc["errors"], status == 1, what)
            if status:
                rc, out, err = vdrpack("build", "stub.exe", "t.ini", "-o", "p.exe", cwd=self.dir)
                self.assertEqual(rc, 5, what)
                self.assertFalse(os.path.exists(os.path.join(self.dir, "p.exe")), what)
        # The server layout note comes with every URL.
        self.assertIn("max-folder-case", vdrpack("lint", "patch.ini", cwd=self.dir)[1])

    def test_characters_that_change_the_request_are_errors_naming_it(self):
        for line, code, requested in REQUESTS:
            key = line.split("=")[0]
            text = re.sub(r"(?m)^%s=.*$" % key, lambda m: line, GOOD)
            self.write("t.ini", text.encode("latin-1"))
            rc, out, err = vdrpack("lint", "t.ini", "--json", cwd=self.dir)
            found = [f for f in json.loads(out)["findings"] if f["code"] == code]
            self.assertEqual((rc, [f["severity"] for f in found]), (1, ["error"]), line)
            self.assertIn("the run requests " + requested, found[0]["message"], line)
        rc, out, err = vdrpack("lint", "patch.ini", cwd=self.dir)
        self.assertNotIn("-characters", out)

    def test_many_findings_of_one_code_are_counted_not_listed(self):
        for what, text, code, total in MANY:
            self.write("t.ini", text.encode("latin-1"))
            rc, out, err = vdrpack("lint", "t.ini", "--json", cwd=self.dir)
            doc = json.loads(out)
            self.validate(doc, "lint")
            found = [f for f in doc["findings"] if f["code"] == code]
            self.assertEqual(len(found), 6, what)
            more = [int(m.group(1)) for m in (re.match(r"(\d+) more ", f["message"]) for f in found) if m]
            self.assertEqual(more, [total - 5], what)
            self.assertLess(len(out), 64 * 1024, what)

    def test_build_prints_the_lints_warnings(self):
        self.write("t.ini", GOOD.replace("https://", "http://").encode())
        rc, out, err = vdrpack("build", "stub.exe", "t.ini", "-o", "p.exe", cwd=self.dir)
        self.assertEqual(rc, 0, err)
        self.assertIn("warning [http-unpinned]", err)
        self.assertNotIn("max-folder-case", err)

    def test_publish_lays_out_the_tree_and_pins_what_it_placed(self):
        signed = os.path.join(SOURCE, "tests", "host", "package", "signed")
        a, chain = os.path.join(signed, "signed-a.exe"), os.path.join(signed, "signed-chain.exe")
        digest_a = "3fd716294f615e382242455a42a5430b5b6c0118ee5673842d575ffe1613dbf4"
        srv = os.path.join(self.dir, "srv")
        # (what, [SRInfo] lines added, builds, exit status)
        cases = [
            ("no Signer", "", [("--build", "0", self.stub), ("--max", a)], 0),
            ("Signer names the build's certificate", "Signer=" + digest_a + "\n", [("--max", a)], 0),
            ("Signer names another certificate", "Signer=" + digest_a + "\n", [("--max", chain)], 7),
            ("Signer=package, one unsigned build", "Signer=package\n", [("--max", a), ("--build", "0", self.stub)], 7),
            ("Signer=package, two certificates", "Signer=package\n", [("--max", a), ("--build", "0", chain)], 7),
            ("SRNo that leaves its folder", "", [("--max", a)], 7),
        ]
        for what, lines, builds, status in cases:
            shutil.rmtree(srv, ignore_errors=True)
            os.mkdir(srv)
            ini = GOOD + lines
            if what.startswith("SRNo"):
                ini = ini.replace("SRNo=OMS240118-02", "SRNo=..\\x")
            self.write("t.ini", ini.encode())
            args = [x for b in builds for x in b]
            rc, out, err = vdrpack("publish", "t.ini", *args, "--to", srv, cwd=self.dir)
            self.assertEqual(rc, status, what + "\n" + err)
            placed = sorted(os.path.relpath(os.path.join(d, f), srv) for d, _, fs in os.walk(srv) for f in fs)
            with open(os.path.join(self.dir, "t.ini")) as f:
                pinned = f.read()
            if status:
                self.assertEqual((placed, pinned), ([], ini), what)
                continue
            folders = [b[1] if b[0] == "--build" else m for b in builds for m in (("max", "Max") if b[0] == "--max"
                                                                                     else (None,))]
            self.assertEqual(placed, sorted(os.path.join(f, "OMS240118-02.exe") for f in folders), what)
            for f in folders:
                with open(os.path.join(srv, f, "OMS240118-02.exe"), "rb") as g:
                    data = g.read()
                key = "Max" if f.lower() == "max" else f
                self.assertIn("SHA256%s=%s\n" % (key, hashlib.sha256(data).hexdigest()), pinned, what)
                self.assertIn("Size%s=%d\n" % (key, len(data)), pinned, what)
            self.assertIn("https://srv/patch/417/max/OMS240118-02.exe", out, what)

    def test_publish_never_writes_through_a_link_in_the_tree(self):
        srv, outside = os.path.join(self.dir, "srv"), os.path.join(self.dir, "outside")
        os.mkdir(srv)
        os.mkdir(outside)
        os.symlink(outside, os.path.join(srv, "Max"))
        self.write("t.ini", GOOD.encode())
        rc, out, err = vdrpack("publish", "t.ini", "--max", self.stub, "--to", srv, cwd=self.dir)
        self.assertEqual(rc, 7, err)
        self.assertEqual((os.listdir(outside), sorted(os.listdir(srv))), ([], ["Max", "max"]))
        self.assertEqual(os.listdir(os.path.join(srv, "max")), [])

    def schema(self):
        with open(os.path.join(SOURCE, "docs", "vdrpack-json.md")) as f:
            text = f.read()
        block = re.search(r"<!-- vdrpack-json-schema -->\n```json\n(.*?)```", text, re.S).group(1)
        examples = re.findall(r"```json\n(.*?)```", text[:text.index("<!-- vdrpack-json-schema -->")], re.S)
        return json.loads(block), [json.loads(e) for e in examples]

    def validate(self, doc, kind):
        schema, _ = self.schema()
        jsonschema.validate(doc, dict(schema, **{"$ref": "#/$defs/" + kind}))

    def test_json_outputs_and_documented_examples_follow_the_schema(self):
        self.write("state.reg", b"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Ombrel\\DiscStudio\\UserReg]\r\n"
                   b"\"Prod_Name\"=\"Ombrel Disc Studio\"\r\n\"Prod_Ver\"=\"4.0\"\r\n")
        self.assertEqual(vdrpack("build", "stub.exe", "patch.ini", "-o", "pkg.exe", cwd=self.dir)[0], 0)
        runs = [(("check", "patch.ini", "--registry", "state.reg", "--all-builds", "--json"), 10, "check"),
                (("inspect", "pkg.exe", "--json"), 0, "inspect"),
                (("inspect", "stub.exe", "--json"), 4, "inspect"),
                (("lint", "missing.ini", "--json"), 3, "error"),
                (("check", "patch.ini", "--json"), 2, "error"),
                (("check", "pkg.exe", "--registry", "state.reg", "--json"), 7, "error"),
                (("signer", os.path.join(SOURCE, "tests", "host", "package", "signed", "signed-a.exe"), "--json"), 0,
                 "signer"),
                (("signer", "stub.exe", "--json"), 4, "signer")]
        for args, status, kind in runs:
            rc, out, err = vdrpack(*args, cwd=self.dir)
            self.assertEqual(rc, status, args)
            self.validate(json.loads(out), kind)
        _, examples = self.schema()
        for e in examples:
            self.validate(e, e.get("command", "error"))


if __name__ == "__main__":
    unittest.main()
