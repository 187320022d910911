#!/usr/bin/env python3
"""One whole update run, shown to a newcomer (make demo).

Serves the example patch (demo/ExamplePatch.cpp) from a local web server,
slowly enough that the progress can be watched; writes the installed
products of the Ombrel example into the registry of a private Wine prefix
(out/demo/prefix); builds an update package in builder mode; runs it under
Wine on the user's display when there is one, otherwise on an Xvfb display
of its own; saves screenshots of the window at the start and during the
download; prints the outcome.
"""
import os
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "out", "demo")
BUILD = os.path.join(ROOT, "out", "build", "win64")
VELDRUN = os.path.join(BUILD, "src", "app", "Veldrun.exe")
EXAMPLE_PATCH = os.path.join(BUILD, "demo", "ExamplePatch.exe")
WINPROBE = os.path.join(BUILD, "tests", "e2e", "winprobe.exe")
WINE, WINESERVER = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver"

SR_NO = "OMS240118-02"
PRODUCTS = {
    r"Software\Ombrel\DiscStudio": ("Ombrel Disc Studio", "4.0", "OMS230910-01", "4.00.2215"),
    r"Software\Ombrel\TapeTune": ("Tape & Tune", "2.5", "OMS230910-01", "2.50.1870"),
}
EXAMPLE_INI = os.path.join(ROOT, "res", "examples", "patch.ini")
# The download: about 1.2 MB in 16 KB pieces, 0.12 s apart (some 9 s).
BODY_SIZE, CHUNK, DELAY = 1200 * 1024, 16 * 1024, 0.12
AREA = "window"  # what a screenshot holds: "window" or "client"


def say(text):
    print("demo: " + text, flush=True)


def pick_display():
    """The user's display when it answers; otherwise a new Xvfb display.
    Returns (DISPLAY, Xvfb process or None)."""
    d = os.environ.get("DISPLAY")
    if d and subprocess.run(["xdpyinfo", "-display", d], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL).returncode == 0:
        return d, None
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            stdin=subprocess.DEVNULL, start_new_session=True)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        c = os.read(r, 1)
        if not c:
            break
        number += c
    os.close(r)
    if not number.strip():
        xvfb.kill()
        sys.exit("demo: Xvfb did not start")
    return ":" + number.decode().strip(), xvfb


def write_wine_env(display):
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "wine.env"), "w") as f:
        f.write('export WINEPREFIX="%s"\n' % os.path.join(OUT, "prefix"))
        f.write('export WINEDLLOVERRIDES="mscoree,mshtml="\n')
        f.write("export WINEARCH=win64\n")
        f.write('export DISPLAY="%s"\n' % display)
        f.write('export WINE="%s"\nexport WINESERVER="%s"\n' % (WINE, WINESERVER))


def main():
    for need in (VELDRUN, EXAMPLE_PATCH, WINPROBE):
        if not os.path.isfile(need):
            sys.exit("demo: %s is missing; run make build first" % need)
    global AREA
    display, xvfb = pick_display()
    # Without a window manager (our own Xvfb) no frame is drawn: the
    # screenshots keep the client area only.
    AREA = "client" if xvfb else "window"
    say("display %s (%s)" % (display, "an Xvfb display of its own" if xvfb else "yours"))
    write_wine_env(display)
    # The harness reads the prefix and display from OUT/wine.env.
    os.environ["VELDRUN_BUILD"] = OUT
    os.environ["VELDRUN_WINPROBE"] = WINPROBE
    sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
    import harness
    harness.TOOLS = os.path.join(BUILD, "tests", "e2e")  # the helper programs of the build

    env = harness.wine_env(debug="-all")
    try:
        return run_demo(harness, env)
    finally:
        subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if xvfb:
            xvfb.terminate()
            xvfb.wait()


def run_demo(harness, env):
    prefix = os.path.join(OUT, "prefix")
    if not os.path.isfile(os.path.join(prefix, "system.reg")):
        say("creating the Wine prefix %s (once, some minutes: its 32-bit half runs emulated)" % prefix)
        harness.run("wineboot", ["-i"], env=env, timeout=1500)
    for old in ("start.png", "download.png", "applied.png", "message.png", "patch-report.txt", "VeldrunUpdate.exe"):
        if os.path.exists(os.path.join(OUT, old)):
            os.unlink(os.path.join(OUT, old))

    say("installed products of the example (registry of the demo prefix):")
    harness.reg_products(PRODUCTS)
    for key, (name, ver, srno, srver) in PRODUCTS.items():
        say("  HKLM\\%s: %s %s, %s build %s" % (key, name, ver, srno, srver))

    with open(EXAMPLE_PATCH, "rb") as f:
        body = f.read()
    body += b"\0" * max(0, BODY_SIZE - len(body))  # room for the progress bar to move
    patch_path = "/patch/417/0/%s.exe" % SR_NO
    with harness.PatchServer() as server:
        server.routes[patch_path] = harness.Route(body, mode="slow", chunk=CHUNK, delay=DELAY)
        say("web server %s serves the example patch at %s (%d KB, slowly)" % (server.base, patch_path,
                                                                             len(body) // 1024))
        # The example file, pointed at this server.
        ini = os.path.join(OUT, "patch.ini")
        with open(EXAMPLE_INI) as f:
            text = re.sub(r"(?m)^URL=.*$", "URL=%s/patch/417" % server.base, f.read())
        with open(ini, "w", newline="\r\n") as f:
            f.write(text)
        say("builder mode without arguments shows its usage:")
        usage = harness.run(VELDRUN, [], env=env, timeout=120)
        for line in usage.stdout.splitlines():
            say("  " + line.rstrip())
        package = os.path.join(OUT, "VeldrunUpdate.exe")
        say("builder mode: Veldrun.exe VeldrunUpdate.exe patch.ini (res/examples/patch.ini, URL of this server)")
        built = harness.run(VELDRUN, [harness.winepath(package), harness.winepath(ini)], env=env, timeout=120)
        for line in built.stdout.splitlines():
            say("  " + line.rstrip())
        if os.path.isfile(package):
            say("  Veldrun.exe %d bytes, VeldrunUpdate.exe %d bytes" % (os.path.getsize(VELDRUN),
                                                                     os.path.getsize(package)))
        if not os.path.isfile(package):
            say("builder mode made no package (exit status %d)" % built.rc)
            return 1

        report = os.path.join(OUT, "patch-report.txt")
        say("running the package under Wine")
        run_env = harness.wine_env(extra={"VELDRUN_DEMO_REPORT": harness.winepath(report)})
        handle = harness.start(package, [], env=run_env)
        shots = []
        info = harness.window_info("Update Utility", env=env, timeout=60, control=1000)
        if info:
            time.sleep(0.3)
            shots.append(harness.screenshot_window(os.path.join(OUT, "start.png"), info, env, AREA))
            deadline = time.time() + 30
            while patch_path not in server.requests and time.time() < deadline and handle[0].poll() is None:
                time.sleep(0.1)
            if patch_path in server.requests:
                time.sleep(BODY_SIZE / CHUNK * DELAY * 0.45)
                info = harness.window_info("Update Utility", env=env, control=1000) or info
                shots.append(harness.screenshot_window(os.path.join(OUT, "download.png"), info, env, AREA))
        else:
            say("the update window did not show up")
        # A run that ends in a message box waits for its OK: note the box's
        # text, keep a picture of it and press OK, so the demo never hangs.
        message = ""
        deadline = time.time() + 180
        while handle[0].poll() is None and time.time() < deadline:
            box = harness.window_info("Update Utility", env=env, timeout=0.5, control=-1000)
            if box:
                shots.append(harness.screenshot_window(os.path.join(OUT, "message.png"), box, env, AREA))
                found = harness.winctl("msgbox", 2000, env=env)
                message = found.stdout.strip().replace("text=", "", 1)
        result = harness.finish(handle, timeout=60)
        applied = harness.window_info("Example patch", env=env, timeout=10)
        if applied:
            shots.append(harness.screenshot_window(os.path.join(OUT, "applied.png"), applied, env, AREA))
        deadline = time.time() + 15
        while not os.path.exists(report) and time.time() < deadline:
            time.sleep(0.2)

    print()
    say("trace lines of the run (progress reports shortened):")
    progress = [t for t in result.traces if "OnProgress" in t]
    for t in result.traces:
        if "OnProgress" in t and t not in (progress[:3] + progress[-1:]):
            if t == progress[3]:
                say("  ... %d more progress reports ..." % (len(progress) - 4))
            continue
        for line in t.rstrip("\n").split("\n"):
            say("  " + line)
    print()
    said = open(report).read().strip() if os.path.exists(report) else ""
    if message:
        say("the package showed a message box: %s" % message)
    if said:
        say("OUTCOME: the package fetched %s%s and started it; the patch says: %s" % (server.base, patch_path, said))
    else:
        say("OUTCOME: no patch was applied (exit status %d%s)" % (result.rc, ", " + message if message else ""))
    say("requests to the server: %s" % (", ".join(server.requests) or "none"))
    say("exit status of the package: %d" % result.rc)
    if shots:
        say("screenshots: " + ", ".join(os.path.relpath(s, ROOT) for s in shots))
    return 0 if said and shots else 1


if __name__ == "__main__":
    sys.exit(main())
