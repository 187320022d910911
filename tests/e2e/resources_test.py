"""The built programs, 64-bit and 32-bit, carry the resources the window and
the system expect: manifest, version information, icon group 128, the
pictures of the window and its controls, the dialog templates."""
import os
import sys
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
import peres  # noqa: E402

BUILDS = os.path.dirname(os.path.abspath(harness.BUILD or "."))
PROGRAMS = {
    # tree: (machine, manifest processorArchitecture)
    "win64": (0x8664, "amd64"),
    "win32": (0x14C, "X86"),
}

BITMAPS = {134: (498, 225), 136: (89, 30), 142: (89, 30), 143: (89, 30), 144: (89, 30), 139: (453, 34),
           141: (453, 34)}
# Every picture again at 150 % (id + 1500) and 200 % (id + 2000), for higher DPI.
BITMAPS.update({bid + 10 * scale: (int(w * scale / 100 + 0.5), int(h * scale / 100 + 0.5))
                for bid, (w, h) in list(BITMAPS.items()) for scale in (150, 200)})
NOTICE_KEY = "LegalCopyright"
ASM = "{urn:schemas-microsoft-com:asm.v1}"
ASM3 = "{urn:schemas-microsoft-com:asm.v3}"


def load(tree):
    path = os.path.join(BUILDS, tree, "src", "app", "Veldrun.exe")
    if not os.path.isfile(path):
        raise AssertionError("%s is missing: build the %s tree (make build-%s)" % (path, tree, tree))
    with open(path, "rb") as f:
        return peres.PeResources(f.read())


class Resources(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = {tree: load(tree) for tree in PROGRAMS}

    def test_programs_are_of_their_architecture(self):
        for tree, (machine, _) in PROGRAMS.items():
            with self.subTest(tree=tree):
                pe = self.pe[tree]
                self.assertEqual(pe.machine, machine)

    def test_programs_import_no_dll_the_loader_could_take_from_their_folder(self):
        # comctl32 and shell32 (no KnownDLLs, or bringing others) are called
        # through SYSTEM_CALL after WinMain made System32 the only folder
        # searched; the 64-bit program delay-loads every other DLL too (the
        # i386 delay-import libraries of binutils 2.40 do not work). What the
        # imported DLLs need comes from System32 only (DependentLoadFlags
        # 0x800); on x86 the directory's size is the structure's own, as on x64.
        imports = {"win64": ["KERNEL32.dll", "msvcrt.dll"],
                   "win32": ["ADVAPI32.dll", "GDI32.dll", "KERNEL32.dll", "msvcrt.dll", "ole32.dll", "SHLWAPI.dll",
                             "USER32.dll"]}
        for tree, (machine, _) in PROGRAMS.items():
            with self.subTest(tree=tree):
                pe = self.pe[tree]
                self.assertEqual(imports[tree], pe.imports())
                size = 112 if machine == 0x8664 else 72
                self.assertEqual((size, size, 0x800), pe.load_config())

    def test_manifest_asks_for_administrator_rights_and_common_controls_6(self):
        for tree, (_, arch) in PROGRAMS.items():
            with self.subTest(tree=tree):
                pe = self.pe[tree]
                root = ET.fromstring(pe.one(peres.RT_MANIFEST, 1))
                ident = root.find(ASM + "assemblyIdentity")
                self.assertEqual(ident.attrib, {"version": "1.0.0.0", "processorArchitecture": arch,
                                                "name": "Orbanex.Setup", "type": "win32"})
                self.assertEqual(root.find(ASM + "description").text, "Orbanex.Setup")
                deps = root.findall(ASM + "dependency/" + ASM + "dependentAssembly/" + ASM + "assemblyIdentity")
                self.assertEqual(len(deps), 1)
                self.assertEqual(deps[0].attrib, {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                                                  "version": "6.0.0.0", "processorArchitecture": arch,
                                                  "publicKeyToken": "6595b64144ccf1df", "language": "*"})
                # Per-monitor DPI aware (v2), system-aware where v2 is unknown.
                settings = root.find(ASM3 + "application/" + ASM3 + "windowsSettings")
                aware = {e.tag.split("}")[1]: e.text for e in settings}
                self.assertEqual(aware, {"dpiAware": "true", "dpiAwareness": "PerMonitorV2"})
                level = root.findall(".//" + ASM3 + "requestedExecutionLevel")
                self.assertEqual([e.attrib for e in level], [{"level": "requireAdministrator", "uiAccess": "false"}])

    def test_version_resource_names_the_program(self):
        for tree, (_, _) in PROGRAMS.items():
            with self.subTest(tree=tree):
                pe = self.pe[tree]
                langs = pe.find(peres.RT_VERSION, 1)
                self.assertEqual(list(langs), [0x409], "English (United States)")
                info = peres.version_info(langs[0x409])
                self.assertEqual(info["fixed"], ((1, 0, 0, 1027), (1, 0, 0, 1027)))
                self.assertEqual(info["translations"], [(0x409, 1200)])
                self.assertEqual(list(info["strings"]), ["040904B0"])
                strings = info["strings"]["040904B0"]
                want = {"FileVersion": "1.0.0.1027", "ProductVersion": "1.0.0.1027",
                        "FileDescription": "Orbanex Patch Utility", "InternalName": "Veldrun",
                        "OriginalFilename": "Veldrun.EXE", "ProductName": "Veldrun Application"}
                for key, value in want.items():
                    self.assertEqual(strings.get(key), value, key)
                for key in ("Comments", "CompanyName", "LegalTrademarks", "PrivateBuild", "SpecialBuild"):
                    self.assertEqual(strings.get(key, ""), "", key)
                notice = strings.get(NOTICE_KEY, "")
                self.assertIn("Veldrun", notice)
                # The same notice line stands in the About box.
                about = pe.one(peres.RT_DIALOG, 100)
                self.assertIn(notice.encode("utf-16-le") + b"\0\0", about)

    def test_icon_group_128_holds_four_sizes_at_three_depths(self):
        for tree, (_, _) in PROGRAMS.items():
            with self.subTest(tree=tree):
                pe = self.pe[tree]
                entries = peres.icon_group(pe.one(peres.RT_GROUP_ICON, 128))
                self.assertEqual(len(entries), 12)
                self.assertEqual(sorted((e["width"], e["height"], e["bits"]) for e in entries),
                                 sorted((s, s, b) for s in (48, 32, 24, 16) for b in (4, 8, 32)))
                for e in entries:
                    image = pe.one(peres.RT_ICON, e["id"])
                    self.assertEqual(len(image), e["size"])
                    w, h, bpp, comp = peres.dib_header(image)
                    self.assertEqual((w, h, bpp, comp), (e["width"], 2 * e["height"], e["bits"], 0))
                    self.assertEqual(e["colors"], 16 if e["bits"] == 4 else 0)

    def test_bitmaps_are_uncompressed_24_bit_at_their_sizes(self):
        for tree, (_, _) in PROGRAMS.items():
            with self.subTest(tree=tree):
                pe = self.pe[tree]
                for bid, (w, h) in BITMAPS.items():
                    with self.subTest(bitmap=bid):
                        dib = pe.one(peres.RT_BITMAP, bid)
                        self.assertEqual(peres.dib_header(dib), (w, h, 24, 0))

    def test_dialog_templates_are_present(self):
        for tree, (_, _) in PROGRAMS.items():
            with self.subTest(tree=tree):
                pe = self.pe[tree]
                about = pe.one(peres.RT_DIALOG, 100)
                self.assertNotEqual(about[2:4], b"\xff\xff", "the About box is a classic template")
                update = pe.one(peres.RT_DIALOG, 102)
                self.assertEqual(update[:4], b"\x01\x00\xff\xff", "the update window is an extended template")


if __name__ == "__main__":
    unittest.main()
