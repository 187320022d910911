"""The update window for every user: at 96, 144 and 192 DPI, in English,
German and Japanese, it keeps the proportions of its pictures, its status
line grows with the scale, it opens centred; the keyboard focus shows after
Tab; and a screen reader's view of it (accprobe.exe, through Active
Accessibility from another process) names the status and the progress and
hears them change. Screenshots are checked by pixels."""
import os
import re
import shutil
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
import window_look_test as look  # noqa: E402

DPIS = (96, 144, 192)
LOCALES = {"en": "en_US.UTF-8", "de": "de_DE.UTF-8", "ja": "ja_JP.UTF-8"}
DOWNLOADING = {"en": "Downloading latest update...", "de": "Neuestes Update wird heruntergeladen...",
               "ja": "最新の更新プログラムをダウンロードしています..."}
ART = (498, 225)  # the pictures' size at 96 DPI, which the client area keeps
# Kept screenshots, for the documentation: VELDRUN_LOOK_SHOTS=folder.
KEEP = os.environ.get("VELDRUN_LOOK_SHOTS", "")


def set_dpi(dpi):
    """The DPI that Wine gives programs started from now on."""
    harness.reg_import('Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n'
                       '"LogPixels"=dword:%08x\n' % dpi)


def ink_rows(shot, rect):
    """How many pixel rows of `rect` hold the status text's colour."""
    return sum(1 for y in range(rect[1], rect[3])
               if any(look.close(shot.at(x, y), look.STATUS_BLUE, 40) for x in range(rect[0], rect[2])))


class WindowScale(look.PictureCase):
    tmp_prefix = "vdr-scale-"

    @classmethod
    def tearDownClass(cls):
        set_dpi(96)
        super().tearDownClass()

    def run_window(self, name, dpi, lang, during=None):
        """Runs the Ombrel example at `dpi` in language `lang` over a download
        held at its half; once the status line is painted, shoots the window
        and calls during(info, shot path); then lets the run end. Returns
        (Shot, WindowInfo, screen size)."""
        set_dpi(dpi)
        log = os.path.join(self.tmp, name + ".log")
        gate = threading.Event()
        env = harness.fakepatch_env(log, extra={"LANG": LOCALES[lang], "LC_ALL": LOCALES[lang]})
        with harness.PatchServer() as server:
            server.routes[look.PATCH] = look.slow_route(gate=gate)
            pkg = harness.Package(harness.example_ini(server.base + "/patch/417"))
            self.addCleanup(pkg.remove)
            handle = pkg.start(env=env)
            try:
                path = os.path.join(self.tmp, name + ".png")
                info = look.shoot_held_window(self, path)
                screen = harness.read_pixels(harness.screenshot(os.path.join(self.tmp, name + "-screen.png")))[:2]
                if KEEP:
                    shutil.copy(path, os.path.join(KEEP, "window-%d-%s.png" % (dpi, lang)))
                if during:
                    during(info, path)
            finally:
                gate.set()
                run = harness.finish(handle, timeout=180)
        self.assertEqual(len(harness.read_fakepatch(log)), 1, run)
        return look.Shot(path, info), info, screen

    def test_every_dpi_and_language_keeps_the_pictures_proportions(self):
        ink = {}
        for dpi in DPIS:
            for lang in LOCALES:
                with self.subTest(dpi=dpi, lang=lang):
                    shot, info, (sw, sh) = self.run_window("%d-%s" % (dpi, lang), dpi, lang)
                    scale = dpi / 96.0
                    # The client area is the pictures' size at this DPI (5 %).
                    self.assertLess(abs(shot.cw / (ART[0] * scale) - 1), 0.05, (shot.cw, shot.ch))
                    self.assertLess(abs(shot.ch / (ART[1] * scale) - 1), 0.05, (shot.cw, shot.ch))
                    # Whole and sharp: the picture for this scale fills it,
                    # and the status text is where it belongs.
                    look.check_early_look(self, self.pe, shot)
                    ink[dpi, lang] = ink_rows(shot, shot.controls[look.IDC_STATUS])
                    # Centred on the screen (Xvfb has no task bar).
                    wl, wt, wr, wb = info.window
                    self.assertLessEqual(abs((wl + wr) - sw), 2, info.window)
                    self.assertLessEqual(abs((wt + wb) - sh), 2, info.window)
        # The status line's glyphs grow with the scale, in every language.
        for lang in LOCALES:
            with self.subTest(lang=lang, ink=[ink.get((d, lang)) for d in DPIS]):
                self.assertGreaterEqual(ink[144, lang], ink[96, lang] * 1.3)
                self.assertGreaterEqual(ink[192, lang], ink[144, lang] * 1.2)

    def test_focus_shows_after_tab(self):
        def tab(info, before):
            r = harness.winctl("tab", 60000)
            self.assertEqual(r.rc, 0, r.stdout)
            after = os.path.join(self.tmp, "after-tab.png")
            cancel = look.Shot(before, info).controls[look.IDC_CANCEL]
            face = look.Picture(self.pe, 1644)  # the focus face at 150 %

            def focused():
                shot = look.Shot(harness.screenshot_window(after, info), info)
                bw, bh = cancel[2] - cancel[0], cancel[3] - cancel[1]
                ring = [(3, bh // 2), (bw - 4, bh // 2), (bw // 2, 3)]
                return all(face.matches(shot.at(cancel[0] + x, cancel[1] + y), x, y, bw, bh) for x, y in ring)
            self.assertTrue(harness.wait_until(focused, 60, step=0.5), "the focus face shows after Tab")
            if KEEP:
                shutil.copy(after, os.path.join(KEEP, "window-144-en-focus.png"))
            first, second = look.Shot(before, info), look.Shot(after, info)
            changed = sum(
                1 for y in range(cancel[1], cancel[3]) for x in range(cancel[0], cancel[2])
                if not look.close(first.at(x, y), second.at(x, y), 8))
            self.assertGreater(changed, 200, "before and after Tab differ")
        self.run_window("tab", 144, "en", during=tab)

    def test_a_screen_reader_reads_the_status_and_the_progress_and_hears_them_change(self):
        mark = tempfile.mktemp(prefix="vdr-acc-")
        probe = harness.start(harness.tool("accprobe"), ["240000"],
                              env=dict(harness.wine_env(debug="-all"), VELDRUN_WINCTL_MARK=harness.winepath(mark)))

        def marks():
            if not os.path.exists(mark):
                return []
            with open(mark) as f:
                return f.read().split()
        self.assertTrue(harness.wait_until(lambda: "ready" in marks() or probe[0].poll() is not None, 120))
        self.assertIn("ready", marks())
        self.run_window("access", 96, "ja",
                        during=lambda info, path: self.assertTrue(harness.wait_until(lambda: "read" in marks(), 60)))
        out = harness.finish(probe, timeout=300).stdout
        os.unlink(mark)
        self.assertIn("done", out.splitlines(), out)
        lines = out.splitlines()
        # The controls' own objects: the status by its text, the bar by its
        # kilobytes, the button by its caption in the user's language. (Wine
        # names no child of the window's own object, so its children are
        # only counted.)
        self.assertIn("control 1002 %s|" % DOWNLOADING["ja"], lines, out)
        self.assertTrue(any(re.match(r"control 1000 \d+ K / \d+ K\|", line) for line in lines), out)
        self.assertIn("control 2 キャンセル|", lines, out)
        self.assertIn("children 3", lines, out)
        # Events: the status's name changed to the downloading text; the
        # bar's value moved many times, but at most about ten times in any
        # second, though every progress report changes both its position
        # and its text, ten reports a second.
        events = [line.split(" ", 4) for line in lines if line.startswith("event ")]
        self.assertIn(("name", "1002", DOWNLOADING["ja"]), [(e[1], e[2], e[4]) for e in events], out)
        ticks = [int(e[3]) for e in events if e[1:3] == ["value", "1000"]]
        self.assertGreater(len(ticks), 10, out)
        busiest = max(sum(1 for t in ticks if start <= t < start + 1000) for start in ticks)
        self.assertLessEqual(busiest, 12, out)


if __name__ == "__main__":
    unittest.main()
