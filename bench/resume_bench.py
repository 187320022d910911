"""Resume benchmark: a 64 MiB build served by nginx behind the fault-injecting
relay, which cuts every connection after 8 MiB of body. Counts the bytes
nginx sent (its access log) for (a) a silent Veldrun run of a package whose
folder and fallback both hold the build, and (b) curl resuming with
"-C -" until the file is whole (what a client that resumes costs the server).
Target for (a): the run starts the patch and the server sends at most 1.1x
the build's size.

Run by scripts/bench.sh with VELDRUN_BUILD set to a win64 tree whose Wine
side is up (tests/wine/setup.sh); VELDRUN_BENCH_NO_WINE=1 runs (b) only."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402
import netfixtures as nf  # noqa: E402

SIZE = 64 << 20
CUT = 8 << 20
TARGET = 1.1
MAX_CURL_ROUNDS = 64
BUFFER = 64 << 10
# (a) on the program before it resumed (2026-12-10, win64 under Wine): the
# first cut ended each URL, the fallback was cut too.
BEFORE = "exit 3, patch NOT started, 16.3 MiB sent by the server = 0.26x the build, 2 requests"


def serve_build(root, body):
    """The build as the folder 0 and the fallback (Max) download."""
    for folder in ("0", "Max"):
        os.makedirs(os.path.join(root, "p", folder))
        path = os.path.join(root, "p", folder, harness.EXAMPLE_SRNO + ".exe")
        with open(path, "wb") as f:
            f.write(body)


def measured(origin, relay, fn):
    """(what fn returned, bytes nginx sent meanwhile, seconds, requests)."""
    before, logged, asked = origin.bytes_sent(), len(origin.access()), len(relay.requests)
    t0 = time.perf_counter()
    result = fn()
    seconds = time.perf_counter() - t0
    requests = len(relay.requests) - asked
    return result, origin.bytes_sent(requests=logged + requests) - before, seconds, requests


def veldrun_run(base, work):
    log, runlog = os.path.join(work, "fakepatch.log"), os.path.join(work, "run.log")
    pkg = harness.Package(harness.folder_ini(base + "/p", 0))
    try:
        r = pkg.run(["/s", "/log", harness.winepath(runlog)], env=harness.fakepatch_env(log), timeout=1800)
    finally:
        pkg.remove()
    started = len(harness.read_fakepatch(log, harness.patch_started(r), timeout=60))
    # The outcome line from the run's log (Wine's trace cuts long strings).
    with open(runlog, encoding="utf-8", errors="replace") as f:
        outcome = next((l.split(" ", 1)[1].strip() for l in f if "[Veldrun] Outcome:" in l), "(no outcome line)")
    return r.rc, started, outcome


def curl_resuming(url, target):
    """curl -C - again and again until the file is whole; the rounds."""
    for rounds in range(1, MAX_CURL_ROUNDS + 1):
        subprocess.run(["curl", "-s", "-C", "-", "-o", target, url], check=False)
        if os.path.exists(target) and os.path.getsize(target) >= SIZE:
            return rounds
    return -1


def line(name, sent, seconds, requests, what):
    ratio = sent / SIZE
    print("  %-24s: %6.1f MiB sent by the server = %.2fx the build, %d requests, %.1f s; %s"
          % (name, sent / 2**20, ratio, requests, seconds, what))
    return ratio


def main():
    work = tempfile.mkdtemp(prefix="vdr-resume-bench-")
    root = os.path.join(work, "root")
    patch = harness.fakepatch_bytes() if os.environ.get("VELDRUN_BENCH_NO_WINE") != "1" else b"MZ"
    serve_build(root, patch + b"\0" * (SIZE - len(patch)))
    print("resume: a %d MiB build, every connection cut after %d MiB (target <= %.1fx the build)"
          % (SIZE >> 20, CUT >> 20, TARGET))
    try:
        # Small socket buffers between nginx and the relay: what nginx counts
        # as sent is then what went on towards the client, within ~100 KiB.
        with nf.Nginx(root, sndbuf=BUFFER) as origin, nf.Relay(origin.address, upstream_buffer=BUFFER) as relay:
            relay.fault(None, cut_after=CUT)
            url = relay.base + "/p/0/%s.exe" % harness.EXAMPLE_SRNO
            if os.environ.get("VELDRUN_BENCH_NO_WINE") != "1":
                harness.example_products()
                (rc, started, outcome), sent, seconds, requests = measured(
                    origin, relay, lambda: veldrun_run(relay.base, work))
                ratio = line("(a) Veldrun silent run", sent, seconds, requests,
                             "exit %d, patch %s" % (rc, "started" if started else "NOT started"))
                print("      %s" % outcome)
                print("      target: %s (completed run, %.2fx <= %.1fx)" % (
                    "met" if rc == 0 and started and ratio <= TARGET else "MISSED", ratio, TARGET))
                print("      before resuming: %s" % BEFORE)
            target = os.path.join(work, "curl.bin")
            rounds, sent, seconds, requests = measured(origin, relay, lambda: curl_resuming(url, target))
            line("(b) curl -C - (resuming)", sent, seconds, requests,
                 "whole after %d rounds" % rounds if rounds > 0 else "NOT whole")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
