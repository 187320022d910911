#include "update/LangString.h"

#include "framework/WinApp.h"
#include "update/StringBlock.h"

#include <windows.h>

int loadLangString(unsigned int id, wchar_t* buffer)
{
    static_assert(sizeof(wchar_t) == 2, "string tables hold UTF-16 units");
    const unsigned block = stringBlockNumber(id);
    if (block == 0 || !buffer)
        return 0;
    // MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT) = 0x400: the user's default
    // language; the platform falls back by its own rules when that table is missing.
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC res = ::FindResourceExA(module, MAKEINTRESOURCEA(6) /* RT_STRING */, MAKEINTRESOURCEA(block),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));
    if (!res)
        return 0;
    HGLOBAL mem = ::LoadResource(module, res);
    const void* data = mem ? ::LockResource(mem) : nullptr;
    if (!data)
        return 0;
    return copyBlockString(data, ::SizeofResource(module, res), stringBlockPosition(id), buffer, kMaxText);
}
