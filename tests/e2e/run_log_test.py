"""The run's log ("/log FILE"): every trace line of each outcome's silent run, the outcome line last;
paths that cannot be opened change nothing but the trace; a killed run keeps its lines."""
import os
import re
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO
DISC = ("Ombrel Disc Studio", "4.0", "OMS230910-01", "4.00.2215")
TAPE = ("Tape & Tune", "2.5", "OMS230910-01", "2.50.1870")
KEYS = "build keys OmbrelDiscStudio#OMS230910-01#4.00.2215, Tape_Tune#OMS230910-01#2.50.1870 are all in Info0"
URL = "{base}/patch/417/%s/" + SR + ".exe"
STAMP = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d (.*)$")
DEBUGSTR = re.compile(r'^[0-9a-f]+:\w+:debugstr:OutputDebugStringA "(.*?)"(?:\.\.\.)?$')

# name, installed (disc, tape), served build (None, "fast", "slow"), extra
# args, exit status, outcome line after "[Veldrun] Outcome: "
OUTCOMES = [
    ("applied", (DISC, TAPE), "fast", ["/w"], 0, "patch finished (exit 0): %s; %s: HTTP 200, {size} of {size} bytes; "
     'started "{local}" /s; the patch ended with exit code 0' % (KEYS, URL % 0)),
    ("already applied", (("Ombrel Disc Studio", "4.0", SR, "4.00.2400"), ("Tape & Tune", "2.5", SR, "2.50.1990")),
     None, [], 4, "already applied (exit 4): build keys OmbrelDiscStudio#{sr}#4.00.2400, Tape_Tune#{sr}#2.50.1990 all "
     "contain SRNo {sr}"),
    ("product error", (DISC, None), None, [], 1, "product error (exit 1): product 1 (Software\\Ombrel\\TapeTune) not "
     "found: no key Software\\Ombrel\\TapeTune\\UserReg, no key Software\\Ombrel\\TapeTune\\BuildInfo"),
    ("patch error", (("Ombrel Disc Studio", "4.1", "OMS230910-01", "4.00.2215"), TAPE), None, [], 2,
     'patch error (exit 2): product 0 (Software\\Ombrel\\DiscStudio) is "OmbrelDiscStudio 4.1", Check0 expects '
     '"OmbrelDiscStudio 4.0"'),
    ("server error", (DISC, TAPE), None, [], 3,
     "server error (exit 3): %s; %s: HTTP 404; %s: HTTP 404" % (KEYS, URL % 0, URL % "Max")),
    ("cancel", (DISC, TAPE), "slow", [], 5,
     "cancelled (exit 5): %s; cancelled by the user during the download of %s" % (KEYS, URL % 0)),
]


def stamped(log_path):
    """The log's lines, each with the unstamped lines of its trace text."""
    with open(log_path, "rb") as f:
        raw = f.read().decode("utf-8")
    assert raw.endswith("\n"), raw[-200:]
    texts = []
    for line in raw.split("\n")[:-1]:
        m = STAMP.match(line)
        if m:
            texts.append(m.group(1))
        else:
            texts[-1] += "\n" + line
    return texts


def heads(texts):
    return [t.rstrip("\n")[:80] for t in texts]


def debug_heads(run):
    # The debugger output shortens long texts.
    return heads(harness._unescape(m.group(1)) for m in map(DEBUGSTR.match, run.stderr.splitlines()) if m)


def logged_heads(run):
    """What the log makes of the debugger output: the header first, then
    each line of every text but the internal ones (a member's name first)."""
    texts = [harness._unescape(m.group(1)) for m in map(DEBUGSTR.match, run.stderr.splitlines()) if m]
    header = [t for t in texts if t.startswith("[Veldrun] Run: ")]
    lines = [line for t in texts if t not in header and not re.match(r"^\w+::", t) for line in t.split("\n") if line]
    return heads(header + lines)


class RunLog(harness.ExampleRunCase):
    install_products = False

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vdr-log-")
        self.log = os.path.join(self.dir, "run.log")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def start(self, server, args, body=None, slow=False):
        if body:
            route = harness.Route(body, mode="slow", chunk=16384, delay=0.1) if slow else harness.Route(body)
            server.routes["/patch/417/0/%s.exe" % SR] = route
        # The example file, a comment on every key, read by the platform.
        with open(os.path.join(harness.SOURCE, "res", "examples", "patch.ini")) as f:
            ini = re.sub(r"(?m)^URL=.*$", "URL=%s/patch/417" % server.base, f.read())
        pkg = harness.Package(ini)
        self.addCleanup(pkg.remove)
        return pkg.start(["/s"] + args, env=harness.fakepatch_env(os.path.join(self.dir, "fake.log")))

    def test_each_outcome_ends_its_log(self):
        # Slow enough (a minute) that Cancel always comes during the download.
        big = self.patch + b"\0" * (8 * 1024 * 1024 - len(self.patch))
        for name, installed, served, args, status, outcome in OUTCOMES:
            with self.subTest(name):
                harness.example_products(*installed)
                with harness.PatchServer() as server:
                    body = big if served == "slow" else self.patch if served else None
                    handle = self.start(server, args + ["/log", harness.winepath(self.log)], body, served == "slow")
                    if served == "slow":
                        self.assertEqual(0, harness.winctl("position", 120000).rc)
                        self.assertEqual(0, harness.winctl("cancel", 60000).rc)
                    r = harness.finish(handle)
                self.assertEqual(status, r.rc, r)
                texts = stamped(self.log)
                local = [t.split(": ", 1)[1] for t in texts if "updateDownloadURL => Local path: " in t]
                expected = outcome.format(base=server.base, size=len(self.patch), sr=SR, local=(local or [""])[-1])
                self.assertEqual(["[Veldrun] Outcome: " + expected, "[Veldrun] Program End."], texts[-2:])
                # Every line of the run, its header and those before the switches first.
                self.assertEqual(logged_heads(r), heads(texts[-len(logged_heads(r)):]))
        # The runs appended to one file.
        self.assertEqual(len(OUTCOMES), sum(t.startswith("[Veldrun] Outcome: ") for t in stamped(self.log)))

    def test_log_that_cannot_be_opened_changes_nothing_else(self):
        harness.example_products(DISC, None)  # a quick product error
        paths = [[harness.winepath(self.dir)], ["Q:\\no\\run.log"],
                 [harness.winepath(os.path.join(self.dir, "x" * 250 + ".log"))], []]
        for path in paths:
            with self.subTest(path), harness.PatchServer() as server:
                r = harness.finish(self.start(server, ["/log"] + path))
            self.assertEqual(1, r.rc, r)
            told = "[Veldrun] Log file cannot be opened (error " if path else "[Veldrun] /log without a file name"
            self.assertEqual(1, sum(t.startswith(told) for t in debug_heads(r)), r.stderr)
            self.assertTrue(r.traces[-2].startswith("[Veldrun] Outcome: product error (exit 1): "), r.traces)
        self.assertEqual([], [n for n in os.listdir(self.dir) if n != "fake.log"])

    def test_killed_run_leaves_its_lines(self):
        harness.example_products()
        with harness.PatchServer() as server:
            handle = self.start(server, ["/log", harness.winepath(self.log)], self.patch * 20, slow=True)
            harness.wait_until(lambda: server.requests or handle[0].poll() is not None)
            handle[0].kill()
            r = harness.finish(handle)
        texts = stamped(self.log)
        # Killed between the debugger output and the log, a run has one text less in the log.
        self.assertEqual(logged_heads(r)[:len(texts)], heads(texts))
        self.assertGreaterEqual(len(texts), len(logged_heads(r)) - 6)


if __name__ == "__main__":
    unittest.main()
