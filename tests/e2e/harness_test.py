"""The harness's retry of a program Wine could not start, without Wine: a
stand-in for the Wine launch prints what Wine or the program would."""
import io
import os
import sys
import tempfile
import unittest
from contextlib import redirect_stderr

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

NO_START = "0024:err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data: c0000018\n"
TRACE = '0024:warn:debugstr:OutputDebugStringA "[Veldrun] checkSignature\\n"\n'
PATCH_1359 = '0024:warn:debugstr:OutputDebugStringA "[Veldrun] Outcome: x: could not start p (error 1359)\\n"\n'

# Each start of the stand-in prints the next of its answers: (stderr, status).
LAUNCH = """#!/bin/bash
n=$(($(cat "$STARTS" 2>/dev/null || echo 0) + 1)); echo $n > "$STARTS"
eval "$(sed -n "${n}p" "$ANSWERS")"
"""


class WineStartRetry(unittest.TestCase):
    def run_with(self, answers, first_trace=False):
        work = tempfile.mkdtemp(prefix="vdr-retry-")
        self.addCleanup(lambda: [os.unlink(os.path.join(work, n)) for n in os.listdir(work)] and os.rmdir(work))
        launch, listing, starts = (os.path.join(work, n) for n in ("launch", "answers", "starts"))
        with open(launch, "w") as f:
            f.write(LAUNCH)
        os.chmod(launch, 0o755)
        with open(listing, "w") as f:
            for i, (err, rc) in enumerate(answers):
                said_path = os.path.join(work, "stderr%d" % i)
                with open(said_path, "w") as e:
                    e.write(err)
                f.write("cat '%s' >&2; exit %d\n" % (said_path, rc))
        env = dict(os.environ, STARTS=starts, ANSWERS=listing)
        saved, harness.WINE_LAUNCH = harness.WINE_LAUNCH, [launch]
        said = io.StringIO()
        try:
            with redirect_stderr(said):
                if first_trace:
                    r = harness.finish(harness.start("prog.exe", env=env, first_trace=True))
                else:
                    r = harness.run("prog.exe", env=env)
        finally:
            harness.WINE_LAUNCH = saved
        with open(starts) as f:
            return r, int(f.read()), said.getvalue()

    def test_only_a_start_wine_failed_is_tried_again(self):
        # answers of the starts: starts made, status seen, retry reported
        cases = {
            "Wine failed, then ran": ([(NO_START, 1), (TRACE, 0)], 2, 0, True),
            "Wine failed twice: the second failure stands": ([(NO_START, 1), (NO_START, 1)], 2, 1, True),
            "ran and failed": ([(TRACE, 3), (TRACE, 0)], 1, 3, False),
            "ended without a trace or Wine's text": ([("", 1), (TRACE, 0)], 1, 1, False),
            "the patch's start failed in Wine": ([(TRACE + PATCH_1359 + NO_START, 6), (TRACE, 0)], 2, 0, True),
            "the patch's start failed otherwise": ([(TRACE + PATCH_1359, 6), (TRACE, 0)], 1, 6, False),
        }
        for name, (answers, made, status, reported) in cases.items():
            for first_trace in (False, True):
                if first_trace and PATCH_1359 in answers[0][0]:
                    continue  # found at the end of a run only
                with self.subTest(name, first_trace=first_trace):
                    r, starts, said = self.run_with(answers, first_trace)
                    self.assertEqual((made, status), (starts, r.rc), r)
                    # The run the test gets is the last one made.
                    self.assertEqual(harness.parse_traces(answers[made - 1][0]), r.traces)
                    self.assertEqual(reported, "Wine could not start" in said, said)


if __name__ == "__main__":
    unittest.main()
