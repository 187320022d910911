#pragma once
// Writes a file whole, for readers that must never see half of it (a
// deployment tool polling a result file): the bytes go to a fresh file of
// a new name in the same folder, and that file is then renamed over the
// target in one step. The same rules as the run's log file: the new file is
// a disk file (a pipe or device under the name is refused, and a pipe's
// server may only identify the run, never impersonate it), created new so
// no link planted at its name is followed; the rename replaces a link at
// the target instead of writing through it.
// Seam: WholeFile_win.cpp, WholeFile_host.cpp.

#include <string>

// path in UTF-8. 0, or the platform's error code (nothing is left behind:
// the new file is removed when the write or the rename fails). A path longer
// than 259 characters is refused.
unsigned long writeWholeFile(const char* utf8Path, const std::string& bytes);
