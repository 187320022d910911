#!/usr/bin/env python3
"""delay-import-lib.py NM DLLTOOL IMPORT_LIB DLL OUT: makes OUT, an import
library through which DLL is loaded at the first call of one of its
functions instead of when the process starts.

The 64-bit program imports only kernel32 and msvcrt: under Wine, user32
itself brings version.dll; loaded at first call, after the program has made
System32 the only folder searched (restrictDllSearch), no DLL it needs can
come from the program's folder. (i386 delay-import libraries of binutils
2.40 leave the import address slots zero: not used there.) The functions are those of the toolchain's IMPORT_LIB (a
name with both a call stub and an import slot); data exports, which a delay
load cannot serve, are left out, so using one fails the link."""

import os
import re
import subprocess
import sys
import tempfile


def functions(nm, import_lib):
    text = subprocess.run([nm, import_lib], check=True, capture_output=True, text=True).stdout
    stubs = set(re.findall(r"^[0-9a-fA-F]+ T (\S+)$", text, re.M))
    slots = set(re.findall(r"^[0-9a-fA-F]+ I __imp_(\S+)$", text, re.M))
    return sorted(stubs & slots)


def main(argv):
    if len(argv) != 6:
        sys.exit("usage: delay-import-lib.py NM DLLTOOL IMPORT_LIB DLL OUT")
    nm, dlltool, import_lib, dll, out = argv[1:]
    names = functions(nm, import_lib)
    if not names:
        sys.exit("delay-import-lib: no functions in " + import_lib)
    # i386 names carry the C underscore and the stdcall "@N": the .def names
    # drop the underscore, and -k drops "@N" from the name the DLL exports.
    i386 = all(n.startswith("_") for n in names)
    with tempfile.TemporaryDirectory() as work:
        definition = os.path.join(work, dll + ".def")
        with open(definition, "w") as f:
            f.write("LIBRARY %s\nEXPORTS\n" % dll)
            for n in names:
                f.write((n[1:] if i386 else n) + "\n")
        subprocess.run([dlltool] + (["-k"] if i386 else []) +
                       ["--input-def", definition, "--dllname", dll, "--output-delaylib", out], check=True)


if __name__ == "__main__":
    main(sys.argv)
