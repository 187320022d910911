"""Download benchmark under Wine, against one local server: (a) a silent
Veldrun run that downloads a 256 MiB patch (streamed from the URL moniker
into the file the run holds, hashed as it arrives), (b) a program that only
calls the platform's URL download for the same file (which stages it in the
user's cache and copies it), (c) curl. Prints the times, (a)/(b), (a)/(c) and (a)'s CPU time.

Run by scripts/bench.sh with VELDRUN_BUILD set to a win64 tree whose Wine
side is up (tests/wine/setup.sh)."""
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402

SIZE = 256 * 1024 * 1024
ROUNDS = int(os.environ.get("VELDRUN_BENCH_ROUNDS", "5"))
TARGET = 1.15


def children_cpu():
    u = resource.getrusage(resource.RUSAGE_CHILDREN)
    return u.ru_utime + u.ru_stime


def timed(fn):
    cpu0 = children_cpu()
    t0 = time.perf_counter()
    fn()
    return time.perf_counter() - t0, children_cpu() - cpu0


def main():
    patch = harness.fakepatch_bytes()
    body = patch + b"\0" * (SIZE - len(patch))
    env = harness.wine_env(debug="-all")
    harness.example_products()
    out_dir = tempfile.mkdtemp(prefix="vdr-bench-")
    target = os.path.join(out_dir, "download.bin")
    results = {"a": [], "b": [], "c": []}
    cpu_a = []
    with harness.PatchServer() as server:
        path = "/p/0/%s.exe" % harness.EXAMPLE_SRNO
        server.routes[path] = harness.Route(body)
        url = server.base + path
        pkg = harness.Package(harness.folder_ini(server.base + "/p", 0))

        def veldrun():
            r = pkg.run(["/s"], env=env, timeout=600)
            if r.rc != 0:
                raise RuntimeError("Veldrun run failed: %r" % r.rc)

        def urlfetch():
            r = harness.run(harness.tool("urlfetch"), [url, harness.winepath(target)], env=env, timeout=600)
            if r.rc != 0 or os.path.getsize(target) != SIZE:
                raise RuntimeError("urlfetch failed: %r" % r.rc)
            os.unlink(target)

        def curl():
            subprocess.run(["curl", "-s", "-o", target, url], check=True)
            os.unlink(target)

        try:
            for _ in range(ROUNDS):
                for key, fn in (("a", veldrun), ("b", urlfetch), ("c", curl)):
                    wall, cpu = timed(fn)
                    results[key].append(wall)
                    if key == "a":
                        cpu_a.append(cpu)
        finally:
            pkg.remove()
    # The platform download leaves each copy in the user's cache.
    for root, _, names in os.walk(harness.inet_cache_dir()):
        for name in names:
            p = os.path.join(root, name)
            if os.path.getsize(p) == SIZE:
                os.unlink(p)
    a, b, c = (statistics.median(results[k]) for k in "abc")
    # The machine is shared: each round runs the three back to back, and the
    # ratios are taken per round, so that a busy moment weighs on both sides.
    ab = statistics.median(x / y for x, y in zip(results["a"], results["b"]))
    ac = statistics.median(x / y for x, y in zip(results["a"], results["c"]))
    print("download of 256 MiB, median of %d rounds" % ROUNDS)
    print("  (a) Veldrun silent run : %7.3f s  (CPU %.3f s)" % (a, statistics.median(cpu_a)))
    print("  (b) URLDownloadToFileA : %7.3f s" % b)
    print("  (c) curl               : %7.3f s" % c)
    print("  (a)/(b) = %.3f  (median of the rounds' ratios; target <= %.2f: %s)"
          % (ab, TARGET, "met" if ab <= TARGET else "MISSED"))
    print("  (a)/(c) = %.3f" % ac)


if __name__ == "__main__":
    main()
