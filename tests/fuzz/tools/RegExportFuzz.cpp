// The registry export reader on any bytes: the file read whole and fed in
// pieces of 1 to 7 bytes gives the same keys, values, warnings and result
// (a block may end anywhere), and every key read is found by its path in
// any case. The code page UTF-16 text is narrowed to follows the input's
// size, so that every page meets every input shape.
#include "RegExport.h"

#include "common/TextHelpers.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    static const unsigned kPages[] = {1252, 65001, 1251, 1250};
    CRegExport whole;
    if (!whole.setCodePage(kPages[size % 4]))
        std::abort();
    int result = whole.parse(bytes);

    CRegExport pieces;
    pieces.setCodePage(kPages[size % 4]);
    pieces.begin();
    for (std::size_t at = 0, step = 1; at < size; at += step, step = step % 7 + 1)
        pieces.feed(bytes.data() + at, step < size - at ? step : size - at);
    if (pieces.finish() != result || pieces.warnings() != whole.warnings() || pieces.error() != whole.error() ||
        pieces.keys().size() != whole.keys().size())
        std::abort();
    for (std::size_t i = 0; i < whole.keys().size(); ++i) {
        const RegExportKey& a = whole.keys()[i];
        const RegExportKey& b = pieces.keys()[i];
        if (a.path != b.path || a.values.size() != b.values.size())
            std::abort();
        for (std::size_t v = 0; v < a.values.size(); ++v) {
            if (a.values[v].name != b.values[v].name || a.values[v].bString != b.values[v].bString ||
                a.values[v].text != b.values[v].text)
                std::abort();
        }
        std::string upper(a.path);
        for (char& c : upper)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        if (whole.lookup(upper) != static_cast<int>(i))
            std::abort();
    }
    return 0;
}
