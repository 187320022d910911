#include "products/Profile.h"

#include <windows.h>

namespace {

// The platform's private-profile reader. It wants a full path: a bare file
// name is looked up in the Windows directory.
class CWinProfileReader : public IProfileReader {
public:
    int getInt(const char* section, const char* key, int def, const char* path) const override
    {
        // The reader returns UINT; a negative value written in the file comes
        // back as its two's complement, which callers read as signed.
        return static_cast<int>(GetPrivateProfileIntA(section, key, def, path));
    }

    void getString(const char* section, const char* key, const char* def, char* buffer, unsigned size,
                   const char* path) const override
    {
        if (!buffer || size == 0)
            return;
        GetPrivateProfileStringA(section, key, def, buffer, size, path);
    }
};

} // namespace

const IProfileReader& platformProfile()
{
    static const CWinProfileReader reader;
    return reader;
}
