#pragma once
// The path the platform gives for an open file: where the handle's file is
// now, whatever name it was opened by. Windows only.

#include <string>

// The handle's final path in the "C:\..." form (the "\\?\" prefix taken
// off); false when the platform cannot tell it or it is no path on a drive
// letter (a share, a volume without a letter).
bool finalPathOf(void* handle, std::wstring& path);
