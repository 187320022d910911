"""The program starts under Wine and ends by itself."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402


class Smoke(unittest.TestCase):
    def test_program_starts_and_traces(self):
        r = harness.run(harness.VELDRUN_EXE, [], timeout=60)
        self.assertTrue(any(t.startswith("[Veldrun] ") for t in r.traces), r)


if __name__ == "__main__":
    unittest.main()
