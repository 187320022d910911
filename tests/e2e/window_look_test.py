"""The update window as the user sees it early in a slow download, and the
same run from a program whose background picture cannot be loaded. The
screenshots are checked by pixels at known places: where the window and its
controls are comes from winprobe.exe, what the pictures hold from the
program's own resources."""
import os
import shutil
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
import peres  # noqa: E402

PATCH = "/patch/417/0/%s.exe" % harness.EXAMPLE_SRNO
STATUS_BLUE = (150, 199, 255)
IDC_CANCEL, IDC_PROGRESS, IDC_STATUS = 2, 1000, 1002


def close(a, b, tol):
    return all(abs(a[i] - b[i]) <= tol for i in range(3))


def inside(rect, x, y, margin=0):
    return rect[0] - margin <= x < rect[2] + margin and rect[1] - margin <= y < rect[3] + margin


class Picture:
    """A bitmap resource of the program, compared with its stretched image."""

    def __init__(self, pe, bid):
        self.w, self.h, self.at = peres.dib_pixels(pe.one(peres.RT_BITMAP, bid))

    def matches(self, got, x, y, area_w, area_h, tol=16):
        """Whether pixel `got` at (x, y) of an area of area_w x area_h over
        which the picture is stretched shows the picture there (one source
        pixel of play either way for the stretch's rounding)."""
        sx, sy = x * self.w // area_w, y * self.h // area_h
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                px, py = min(max(sx + dx, 0), self.w - 1), min(max(sy + dy, 0), self.h - 1)
                if close(got, self.at(px, py), tol):
                    return True
        return False


class Shot:
    """A screenshot of the update window with its geometry, in coordinates
    relative to the window's client area."""

    def __init__(self, path, info):
        self.w, self.h, self.at_window = harness.read_pixels(path)
        wl, wt = info.window[0], info.window[1]
        cl, ct, cr, cb = info.client
        self.origin = (cl - wl, ct - wt)
        self.cw, self.ch = cr - cl, cb - ct
        self.controls = {i: tuple(v - (cl, ct)[k % 2] for k, v in enumerate(rect))
                         for i, (_, _, rect) in info.controls.items()}

    def at(self, x, y):
        return self.at_window(self.origin[0] + x, self.origin[1] + y)

    def count(self, rect, pred):
        return sum(1 for y in range(max(rect[1], 0), min(rect[3], self.ch))
                   for x in range(max(rect[0], 0), min(rect[2], self.cw)) if pred(self.at(x, y)))


def slow_route(seconds=20.0, gate=None):
    """The fake patch padded to a download of `seconds`; with a `gate`, it
    is held at its half until the gate is set."""
    body = harness.fakepatch_bytes()
    chunk = 16 * 1024
    steps = int(seconds / 0.1)
    body += b"\0" * max(0, steps * chunk - len(body))
    return harness.Route(body, mode="slow", chunk=chunk, delay=0.1, gate=gate, hold_at=len(body) // 2 if gate else 0)


def status_painted(path, info):
    """Whether the shot at `path` shows the status text painted."""
    shot = Shot(path, info)
    return shot.count(shot.controls[IDC_STATUS], lambda p: close(p, STATUS_BLUE, 40)) > 30


def check_early_look(tc, pe, shot, pos=None):
    """Checks, for test case tc, a Shot of the update window taken early in
    a download (progress at pos) against the pictures of program pe; with
    pos None, all but the progress bar."""
    status, cancel, progress = (shot.controls[i] for i in (IDC_STATUS, IDC_CANCEL, IDC_PROGRESS))
    background = Picture(pe, 134)

    # The background picture covers the client area, corners included.
    points = [(0, 0), (shot.cw - 1, 0), (0, shot.ch - 1), (shot.cw - 1, shot.ch - 1)]
    points += [(shot.cw * i // 12, shot.ch * j // 10) for i in range(1, 12) for j in range(1, 10)]
    points = [p for p in points if not any(inside(r, *p, margin=3) for r in (status, cancel, progress))]
    misses = [p for p in points if not background.matches(shot.at(*p), p[0], p[1], shot.cw, shot.ch)]
    tc.assertLessEqual(len(misses), len(points) // 20, "background missing at %r" % misses[:8])

    # The status text is painted in its light blue inside the placeholder
    # rectangle, and nowhere between it and the progress bar.
    blue = lambda p: close(p, STATUS_BLUE, 40)
    tc.assertGreater(shot.count(status, blue), 30)
    below = (status[0], status[3], status[2], progress[1] - 2)
    tc.assertEqual(shot.count(below, blue), 0)

    # The Cancel button shows its normal (or, under the pointer, hover)
    # face, stretched over the button; the caption stays in the middle.
    faces = [Picture(pe, 136), Picture(pe, 142)]
    bw, bh = cancel[2] - cancel[0], cancel[3] - cancel[1]
    spots = [(bw * fx // 10, bh * fy // 10) for fx in (1, 9) for fy in (2, 8)]
    for face in faces:
        if all(face.matches(shot.at(cancel[0] + x, cancel[1] + y), x, y, bw, bh, tol=24) for x, y in spots):
            break
    else:
        tc.fail("the Cancel button does not show its face")
    if pos is None:
        return

    # The progress bar: the fill picture at the left end, its own
    # background picture towards the right, inside its one-pixel border.
    inner = (progress[0] + 1, progress[1] + 1, progress[2] - 1, progress[3] - 1)
    pw, ph = inner[2] - inner[0], inner[3] - inner[1]
    fill, track = Picture(pe, 141), Picture(pe, 139)
    filled = pw * pos // 100
    tc.assertGreaterEqual(filled, 3)
    for y in (ph // 4, ph * 3 // 4):
        x = min(2, filled - 1)
        tc.assertTrue(fill.matches(shot.at(inner[0] + x, inner[1] + y), x, y, pw, ph, tol=24), (x, y))
        x = pw * 95 // 100
        tc.assertTrue(track.matches(shot.at(inner[0] + x, inner[1] + y), x, y, pw, ph, tol=24), (x, y))


def shoot_held_window(tc, path):
    """Once the update window of a run held at its half shows, waits for its
    status line to be painted and shoots the window into `path`; returns its
    WindowInfo."""
    info = harness.window_info("Update Utility", timeout=60, control=IDC_PROGRESS)
    tc.assertIsNotNone(info, "the update window shows")
    moved = harness.winctl("position", 120000)
    tc.assertEqual(moved.rc, 0, moved.stdout)
    # The repaint that follows the new status text comes when it comes.
    harness.wait_until(lambda: status_painted(harness.screenshot_window(path, info), info), 60, step=0.5)
    return info


class PictureCase(unittest.TestCase):
    """The Ombrel example's products installed, the program's pictures read,
    a folder of its own for the shots."""
    tmp_prefix = "vdr-look-"

    @classmethod
    def setUpClass(cls):
        harness.example_products()
        with open(harness.VELDRUN_EXE, "rb") as f:
            cls.pe = peres.PeResources(f.read())
        cls.tmp = tempfile.mkdtemp(prefix=cls.tmp_prefix)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)


class WindowLook(PictureCase):

    def run_and_shoot(self, name, builder=None):
        """Runs the Ombrel example's package over a slow download, takes a
        screenshot once the progress bar has moved, lets the run end.
        Returns (Shot, progress position at the shot, run, fake patch starts)."""
        log = os.path.join(self.tmp, name + ".log")
        # Held at its half until the shot is taken: the shot is early.
        gate = threading.Event()
        with harness.PatchServer() as server:
            server.routes[PATCH] = slow_route(gate=gate)
            ini = harness.example_ini(server.base + "/patch/417")
            if builder:
                pkg_dir = tempfile.mkdtemp(dir=self.tmp)
                ini_path, exe = os.path.join(pkg_dir, "patch.ini"), os.path.join(pkg_dir, "Update.exe")
                with open(ini_path, "w", newline="\r\n") as f:
                    f.write(ini)
                harness.run(builder, [harness.winepath(exe), harness.winepath(ini_path)])
                self.assertTrue(os.path.exists(exe), "builder mode of the changed program made a package")
                handle = harness.start(exe, [], env=harness.fakepatch_env(log))
            else:
                pkg = harness.Package(ini)
                self.addCleanup(pkg.remove)
                handle = pkg.start(env=harness.fakepatch_env(log))
            try:
                path = os.path.join(self.tmp, name + ".png")
                info = shoot_held_window(self, path)
                pos = int(harness.winctl("position", 60000).stdout.split("=")[1])
            finally:
                gate.set()
                run = harness.finish(handle, timeout=180)
        return Shot(path, info), pos, run, harness.read_fakepatch(log)

    def test_window_early_in_a_slow_download(self):
        shot, pos, run, starts = self.run_and_shoot("early")
        self.assertEqual(len(starts), 1, run)
        self.assertLess(pos, 90, "the shot was taken early in the download")
        check_early_look(self, self.pe, shot, pos)

    def test_background_that_fails_to_load_falls_to_default_erasing(self):
        with open(harness.VELDRUN_EXE, "rb") as f:
            data = peres.rename_resource(f.read(), peres.RT_BITMAP, 134, 135)
        changed = os.path.join(self.tmp, "NoBackground.exe")
        with open(changed, "wb") as f:
            f.write(data)
        shot, pos, run, starts = self.run_and_shoot("nobackground", builder=changed)
        self.assertEqual(len(starts), 1, "the run still ends with the patch started: %r" % run)
        self.assertTrue(run.trace_text.endswith("[Veldrun] Program End.\n"), run)
        status, cancel, progress = (shot.controls[i] for i in (IDC_STATUS, IDC_CANCEL, IDC_PROGRESS))
        # No status text at all, and the client area shows one plain face
        # colour, a light one, where the picture would be.
        self.assertEqual(shot.count(status, lambda p: close(p, STATUS_BLUE, 40)), 0)
        face = shot.at(2, 2)
        self.assertTrue(min(face) > 150 and max(face) - min(face) < 40, face)
        plain = (0, 0, shot.cw, progress[1] - 2)
        self.assertEqual(shot.count(plain, lambda p: p != face), 0)


if __name__ == "__main__":
    unittest.main()
