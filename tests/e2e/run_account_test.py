"""What a run leaves for administrators and their tools, for each reason a
silent run ends with: the exit status, the /result document (checked against
the schema vdrpack prints), the /log file (a header first, every line one
stamped record, no internal lines), and the run's event in the Application
log (Wine traces ReportEventW on its eventlog channel); the same for Cancel
in a visible run. A second instance and a /log handed to a pipe server of
the user."""
import json
import os
import re
import shutil
import sys
import tempfile
import threading
import unittest

import jsonschema

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

SR = harness.EXAMPLE_SRNO
DISC = ("Ombrel Disc Studio", "4.0", "OMS230910-01", "4.00.2215")
TAPE = ("Tape & Tune", "2.5", "OMS230910-01", "2.50.1870")
STAMP = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d \S")
HEADER = re.compile(r"^\[Veldrun\] Run: Veldrun \d+\.\d+\.\d+\S*; package \"[^\"]+\\package\.exe\", SHA-256 "
                    r"[0-9a-f]{64}, unsigned; SRNo (\S+); command line: .+; user \S+\\\S+, (elevated|not elevated); "
                    r"Windows \d+\.\d+\.\d+")
WIN_VDRPACK = os.path.join(harness.BUILD, "tools", "vdrpack.exe")
# Wine's ReportEventW writes no log: it names its arguments in a fixme
# (handle, type, category, event ID, ...) and traces each string on the
# eventlog channel, as an error, a warning or a trace by the event's type.
DEBUG = "-all,+debugstr,+eventlog,fixme+advapi"
EVENT_CALL = re.compile(r"fixme:advapi:ReportEventW \(\w+,0x([0-9a-f]{4}),0x[0-9a-f]{4},0x([0-9a-f]{8}),")
# (Wine shortens a long text, ending it with "...".)
EVENT_TEXT = re.compile(r"(err|warn|trace):eventlog:ReportEventW L\"(.*)\"(?:\.\.\.)?$")
TYPES = {1: "error", 2: "warning", 4: "information"}
EVENT_IDS = {"patch_started": 1000, "patch_ended": 1001, "already_applied": 1002, "product_missing": 1003,
             "usage_shown": 1004, "cancelled": 2000, "another_instance": 2001, "version_mismatch": 3000,
             "server_unreachable": 3001, "http_error": 3002, "stalled": 3003, "overdue": 3004, "size_refused": 3005,
             "pin_mismatch": 3006, "publisher_refused": 3007, "end_unknown": 3008, "patch_not_started": 3009, "package_unreadable": 3010}


def body_of(test):
    return test.patch


def text_body(test):
    return b"not a program\r\n" * 100


def trickled(test):
    """The patch padded to 1 MiB, sent 256 bytes every 0.2 s: progress keeps
    coming, the end not within minutes."""
    return harness.Route(test.patch + b"\0" * (1024 * 1024 - len(test.patch)), mode="slow", chunk=256, delay=0.2)


# reason, exit status, served (route for both folders, or None), [SRInfo] lines, products (None: as installed,
# else (disc, tape)), extra args, fake patch exit code, text the outcome line holds
ROWS = [
    ("patch_started", 0, lambda t: harness.Route(body_of(t)), "", None, [], 0, "started"),
    ("patch_ended", 0, lambda t: harness.Route(body_of(t)), "", None, ["/w"], 0, "exit code 0"),
    ("already_applied", 4, None, "", (("Ombrel Disc Studio", "4.0", SR, "4.00.2400"),
                                      ("Tape & Tune", "2.5", SR, "2.50.1990")), [], 0, "all contain SRNo"),
    ("product_missing", 1, None, "", (DISC, None), [], 0, "not found"),
    ("version_mismatch", 2, None, "", (("Ombrel Disc Studio", "4.1", "OMS230910-01", "4.00.2215"),
                                       TAPE), [], 0, "Check0 expects"),
    ("server_unreachable", 3, "closed", "", None, [], 0, "no answer from the server"),
    ("http_error", 3, lambda t: harness.Route(b"gone", mode="status", status=404), "", None, [], 0, "HTTP 404"),
    ("stalled", 3, lambda t: harness.Route(b"", mode="stall", delay=60), "StallSeconds=5\n", None, [], 0,
     "no progress for 5 s"),
    ("overdue", 3, trickled, "DownloadSeconds=10\n", None, [], 0, "not done after 10 s"),
    ("size_refused", 3, lambda t: harness.Route(body_of(t)), "Size0=1000\nSizeMax=1000\n", None, [], 0, "pinned 1000"),
    ("pin_mismatch", 3, lambda t: harness.Route(body_of(t)), "SHA2560=%s\nSHA256Max=%s\n" % ("0" * 64, "0" * 64), None,
     [], 0, "did not match"),
    ("publisher_refused", 3, lambda t: harness.Route(body_of(t)), "Signer=%s\n" % ("ab" * 32), None, [], 0,
     "unsigned"),
    ("end_unknown", 3, lambda t: harness.Route(body_of(t), mode="nolength"), "", None, [], 0, "end unknown"),
    ("patch_not_started", 6, lambda t: harness.Route(text_body(t)), "", None, [], 0, "ERROR_BAD_EXE_FORMAT"),
    ("usage_shown", 9, None, "", None, ["/?"], 0, "usage shown"),
    ("package_unreadable", 8, "damaged", "", None, [], 0, "detachFile result"),
]


def records(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8").split("\n")[:-1]


def events(r, texts_of=()):
    """(event ID, type, text) of each event the run reported; a text that
    begins one of `texts_of` (Wine shortened it) is given whole."""
    calls = [(int(m.group(2), 16), TYPES.get(int(m.group(1), 16))) for m in map(EVENT_CALL.search, r.stderr.splitlines())
             if m]
    texts = [harness._unescape(m.group(2)) for m in map(EVENT_TEXT.search, r.stderr.splitlines()) if m]
    texts = [next((t for t in texts_of if t.startswith(text) and len(text) >= 60), text) for text in texts]
    return [call + (text,) for call, text in zip(calls, texts)] if len(calls) == len(texts) else [(None, None, "")]


class RunAccount(harness.ExampleRunCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        schema = harness.run(WIN_VDRPACK, ["schema", "result"])
        assert schema.rc == 0, schema
        cls.schema = json.loads(schema.stdout)
        jsonschema.Draft202012Validator.check_schema(cls.schema)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vdr-account-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def package(self, base, srinfo=""):
        pkg = harness.Package(harness.folder_ini(base, 0) + srinfo)
        self.addCleanup(pkg.remove)
        return pkg

    def document(self, name):
        with open(self.path(name), encoding="utf-8") as f:
            doc = json.load(f)
        jsonschema.validate(doc, self.schema, cls=jsonschema.Draft202012Validator)
        return doc

    def test_each_reason_leaves_its_status_document_log_and_event(self):
        for reason, status, served, srinfo, products, args, code, said in ROWS:
            with self.subTest(reason):
                harness.example_products(*(products or (DISC, TAPE)))
                log, result = self.path(reason + ".log"), self.path(reason + ".json")
                with harness.PatchServer() as server:
                    base = "http://127.0.0.1:9/p" if served == "closed" else server.base + "/p"
                    if callable(served):
                        for folder in ("0", "Max"):
                            server.routes["/p/%s/%s.exe" % (folder, SR)] = served(self)
                    pkg = self.package(base, srinfo)
                    if served == "damaged":  # the trailer's start offset past the file's end
                        with open(pkg.exe, "r+b") as f:
                            f.seek(-24, os.SEEK_END)
                            f.write((0xFFFFFFF0).to_bytes(4, "little"))
                    env = harness.fakepatch_env(self.path("fake.log"), exit_code=code)
                    env["WINEDEBUG"] = DEBUG
                    r = pkg.run(["/s"] + args + ["/log", harness.winepath(log), "/result", harness.winepath(result)],
                                env=env)
                self.assert_account(reason, status, r, said)

    def test_cancel_of_a_visible_run_is_accounted(self):
        # Held after its first piece: Cancel always comes during the download.
        gate = threading.Event()
        harness.example_products(DISC, TAPE)
        with harness.PatchServer() as server:
            for folder in ("0", "Max"):
                server.routes["/p/%s/%s.exe" % (folder, SR)] = harness.Route(self.patch * 8, mode="slow",
                                                                               chunk=4096, gate=gate)
            pkg = self.package(server.base + "/p")
            env = harness.fakepatch_env(self.path("fake.log"))
            env["WINEDEBUG"] = DEBUG
            handle = pkg.start(["/log", harness.winepath(self.path("cancelled.log")), "/result",
                                harness.winepath(self.path("cancelled.json"))], env=env)
            cancel = harness.winctl("cancel", 120000)
            r = harness.finish(handle)
            gate.set()
        self.assertEqual(0, cancel.rc, cancel)
        self.assert_account("cancelled", 5, r, "cancelled by the user")

    def assert_account(self, reason, status, r, said):
        self.assertEqual(status, r.rc, r)
        doc = self.document(reason + ".json")
        self.assertEqual((reason, status), (doc["reason"], doc["exit_status"]), doc)
        self.assertIn(said, doc["outcome_line"])
        lines = records(self.path(reason + ".log"))
        self.assertEqual([], [line for line in lines if not STAMP.match(line)])
        texts = [line.split(" ", 1)[1] for line in lines]
        header = HEADER.match(texts[0])
        self.assertTrue(header, texts[0])
        self.assertEqual(SR if reason not in ("usage_shown", "package_unreadable") else "unknown", header.group(1))
        self.assertEqual([], [t for t in texts if "::" in t.split(" ", 1)[0]])
        self.assertEqual([doc["outcome_line"]], [t for t in texts if t.startswith("[Veldrun] Outcome: ")])
        kind = "information" if EVENT_IDS[reason] < 2000 else "warning" if EVENT_IDS[reason] < 3000 else "error"
        self.assertEqual([(EVENT_IDS[reason], kind, doc["outcome_line"])], events(r, [doc["outcome_line"]]), r.stderr[-2000:])

    def test_second_instance_and_unopenable_files_are_told(self):
        ready, stop = self.path("ready"), self.path("stop")
        pkg = self.package("http://127.0.0.1:9/p")
        holder = harness.start(harness.tool("holdmutex"), [harness.winepath(ready), harness.winepath(stop)])
        try:
            harness.wait_until(lambda: os.path.exists(ready) or holder[0].poll() is not None)
            self.assertTrue(os.path.exists(ready), "holdmutex did not start")
            r = pkg.run(["/s", "/log", harness.winepath(self.path("second.log")), "/result",
                         harness.winepath(self.path("second.json"))], env=harness.wine_env(debug=DEBUG))
        finally:
            open(stop, "w").close()
            harness.finish(holder)
        self.assertEqual(7, r.rc, r)
        doc = self.document("second.json")
        self.assertEqual(("another_instance", 7), (doc["reason"], doc["exit_status"]))
        texts = [line.split(" ", 1)[1] for line in records(self.path("second.log"))]
        self.assertTrue(texts[0].startswith("[Veldrun] Run: "), texts)
        self.assertEqual([doc["outcome_line"], "[Veldrun] Program End."], texts[-2:])
        self.assertEqual([(2001, "warning", doc["outcome_line"])], events(r, [doc["outcome_line"]]), r.stderr[-2000:])

        # A log and a result that cannot be opened: traced, one event each beside the run's, the run goes on.
        harness.example_products(DISC, None)
        r = pkg.run(["/s", "/log", "Q:\\no\\run.log", "/result", harness.winepath(self.dir)],
                    env=harness.wine_env(debug=DEBUG))
        self.assertEqual(1, r.rc, r)
        self.assertTrue(any(t.startswith("[Veldrun] Log file cannot be opened (error 3 ERROR_PATH_NOT_FOUND")
                            for t in r.traces), r)
        self.assertTrue(any(t.startswith("[Veldrun] Result file cannot be written (") for t in r.traces), r)
        self.assertEqual([4000, 4001, 1003], [e[0] for e in events(r)], r.stderr[-3000:])

    def test_log_handed_to_a_pipe_server_is_refused_and_cannot_be_impersonated(self):
        harness.example_products(DISC, None)  # a quick product error
        pkg = self.package("http://127.0.0.1:9/p")
        name = "vdr-account-%d" % os.getpid()
        ready, report = self.path("pipe.ready"), self.path("pipe.report")
        server = harness.start(harness.tool("pipeserver"), [name, harness.winepath(ready), harness.winepath(report)])
        harness.wait_until(lambda: os.path.exists(ready) or server[0].poll() is not None)
        if not os.path.exists(ready):
            self.fail("pipeserver did not start: %r" % harness.finish(server))
        r = pkg.run(["/s", "/log", "\\\\.\\pipe\\" + name], env=harness.wine_env(debug=DEBUG))
        s = harness.finish(server)
        self.assertEqual(1, r.rc, r)
        with open(report) as f:
            said = dict(part.split("=") for part in f.read().split())
        # Connected (the run opened the name), got none of its lines, and learnt at most who the run is where
        # the platform keeps to what a client asks (Wine 8 gives any client's server the impersonation level).
        self.assertNotEqual("unconnected", said["level"], (said, s))
        self.assertEqual("0", said["bytes"], said)
        if said["probe"] == "identification":
            self.assertNotIn(said["level"], ("impersonation", "delegation"), (said, s))
        self.assertTrue(any(t.startswith("[Veldrun] Log file cannot be opened (error 222 ERROR_BAD_FILE_TYPE")
                            for t in r.traces), r)


if __name__ == "__main__":
    unittest.main()
