// Reading a registry export, part one: the bytes. The byte-order mark
// decides the encoding (UTF-16LE, narrowed to the ANSI code page of
// setCodePage, or ANSI bytes as they are), and the text is cut into lines at CR, LF or
// CR LF, each handed to the grammar (RegExportGrammar.cpp).
#include "RegExport.h"
#include "RegExportText.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// How many UTF-16LE units from data on are printable ASCII (0x20..0x7E),
// most of any export. The machines this runs on are little-endian.
std::size_t printableUnits(const char* data, std::size_t size)
{
    std::size_t at = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi16(0x1F);
    const __m128i high = _mm_set1_epi16(0x7F);
    while (at + 16 <= size) {
        __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        // Signed compares: a unit of 0x8000 or more is below 0x20 as well.
        __m128i ok = _mm_and_si128(_mm_cmpgt_epi16(units, low), _mm_cmplt_epi16(units, high));
        if (_mm_movemask_epi8(ok) != 0xFFFF)
            break;
        at += 16;
    }
#else
    while (at + 8 <= size) {
        std::uint64_t w;
        std::memcpy(&w, data + at, 8);
        const std::uint64_t lanes = 0x0080008000800080ull;
        if ((w & 0xFF00FF00FF00FF00ull) || ((w + 0x0060006000600060ull) & lanes) != lanes ||
            ((w + 0x0001000100010001ull) & lanes))
            break;
        at += 8;
    }
#endif
    while (at + 1 < size && data[at + 1] == 0 && static_cast<unsigned char>(data[at]) >= 0x20 &&
           static_cast<unsigned char>(data[at]) < 0x7F)
        at += 2;
    return at / 2;
}

// The low bytes of count UTF-16LE units (printable ASCII) into out.
void narrowPrintable(const char* data, std::size_t count, char* out)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= count; i += 8) {
        __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 2 * i));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(units, units));
    }
#endif
    for (; i < count; ++i)
        out[i] = data[2 * i];
}

} // namespace

void CRegExport::begin(std::size_t sizeHint)
{
    // What lives in the arena goes while the arena is still there.
    m_keys.clear();
    m_keyData.clear();
    m_slots.clear();
    m_index.clear();
    unsigned codePage = m_codePage;
    *this = CRegExport();
    m_codePage = codePage;
    // An export holds a key for every 200 to 500 bytes or so: an index of
    // about the right size from the start saves growing it many times.
    static const std::size_t kMaxReserve = 1u << 22;
    std::size_t keys = sizeHint / 256 < kMaxReserve ? sizeHint / 256 : kMaxReserve;
    m_index.reserve(keys);
    m_slots.reserve(keys);
    m_keyData.reserve(keys);
}

bool CRegExport::setCodePage(unsigned codePage)
{
    if (!isNarrowCodePage(codePage))
        return false;
    m_codePage = codePage;
    return true;
}

int CRegExport::parse(const std::string& bytes)
{
    begin(bytes.size());
    feed(bytes.data(), bytes.size());
    return finish();
}

int CRegExport::parseFile(const std::string& path)
{
    begin();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        m_error = "cannot read the file";
        return kRegExportUnreadable;
    }
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        begin(size > 0 ? static_cast<std::size_t>(size) : 0);
    }
    std::rewind(f);
    static const std::size_t kBlock = 1 << 16;
    std::vector<char> block(kBlock);
    std::size_t n;
    while ((n = std::fread(block.data(), 1, kBlock, f)) > 0 && feed(block.data(), n) == kRegExportOk) {
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        m_error = "cannot read the file";
        return kRegExportUnreadable;
    }
    return finish();
}

int CRegExport::feed(const char* data, std::size_t size)
{
    for (std::size_t i = 0; i < size && m_result == kRegExportOk; ++i) {
        unsigned char b = static_cast<unsigned char>(data[i]);
        if (m_stage == 0) {
            // The byte-order mark decides the encoding: UTF-16LE after FF FE,
            // ANSI otherwise (a UTF-8 mark is passed over).
            m_head += static_cast<char>(b);
            bool unicode = m_head == "\xFF\xFE";
            bool utf8 = m_head == "\xEF\xBB\xBF";
            if (!unicode && !utf8 && std::string("\xEF\xBB\xBF").compare(0, m_head.size(), m_head) == 0 &&
                m_head.size() < 3)
                continue;
            if (!unicode && !utf8 && m_head == "\xFF")
                continue;
            m_stage = 1;
            m_bUnicode = unicode;
            std::string head = unicode || utf8 ? std::string() : m_head;
            m_head.clear();
            for (char c : head)
                decodeByte(static_cast<unsigned char>(c));
            continue;
        }
        // Printable ASCII, most of any export, goes straight to the line.
        std::size_t run = i;
        if (m_bUnicode && m_oddByte < 0 && !m_highSurrogate) {
            run = i + printableUnits(data + i, size - i) * 2;
            std::size_t old = m_line.size();
            m_line.resize(old + (run - i) / 2);
            narrowPrintable(data + i, (run - i) / 2, &m_line[old]);
        } else if (!m_bUnicode) {
            while (run < size && static_cast<unsigned char>(data[run]) >= 0x20)
                ++run;
            m_line.append(data + i, run - i);
        }
        if (run != i) {
            m_bLineOpen = true;
            m_bAfterCR = false;
            i = run - 1;
            continue;
        }
        decodeByte(b);
    }
    return m_result;
}

void CRegExport::decodeByte(unsigned char b)
{
    if (!m_bUnicode) {
        addChar(static_cast<char>(b));
        return;
    }
    if (m_oddByte < 0) {
        m_oddByte = b;
        return;
    }
    unsigned unit = static_cast<unsigned>(m_oddByte) | (static_cast<unsigned>(b) << 8);
    m_oddByte = -1;
    if (m_highSurrogate) {
        unsigned high = m_highSurrogate;
        m_highSurrogate = 0;
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return addNarrow(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
        addNarrow(0xFFFD); // a surrogate of no pair
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        m_highSurrogate = unit;
        return;
    }
    addNarrow(unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
}

void CRegExport::addNarrow(unsigned cp)
{
    m_narrow.clear();
    appendNarrow(m_narrow, cp, m_codePage);
    for (char c : m_narrow)
        addChar(c);
}

void CRegExport::addChar(char c)
{
    if (c == '\r' || (c == '\n' && !m_bAfterCR)) {
        endLine();
        m_bAfterCR = c == '\r';
        return;
    }
    bool skip = c == '\n'; // the LF of CR LF
    m_bAfterCR = false;
    if (skip)
        return;
    m_line += c;
    m_bLineOpen = true;
}

void CRegExport::endLine()
{
    ++m_lineNo;
    if (m_result == kRegExportOk)
        onLine(m_line);
    m_line.clear();
    m_bLineOpen = false;
}
int CRegExport::finish()
{
    if (m_stage == 0) {
        m_stage = 1;
        for (char c : m_head)
            decodeByte(static_cast<unsigned char>(c));
    }
    if (m_highSurrogate) {
        m_highSurrogate = 0;
        addNarrow(0xFFFD);
    }
    if (m_bLineOpen && m_result == kRegExportOk)
        endLine();
    if (m_bInHex && m_result == kRegExportOk)
        setHexValue(true); // the file ends in a continued hex value: the editor keeps what it read
    if (!m_bHeaderSeen && m_result == kRegExportOk) {
        m_error = "not a registry export: the first line is not \"Windows Registry Editor Version 5.00\"";
        m_result = kRegExportNoHeader;
    }
    if (m_moreWarnings)
        m_warnings.push_back("... and " + std::to_string(m_moreWarnings) + " more");
    closeTree();
    return m_result;
}
void CRegExport::warn(const std::string& what)
{
    if (m_warnings.size() < kMaxWarnings)
        m_warnings.push_back("line " + std::to_string(m_lineNo) + ": " + what);
    else
        ++m_moreWarnings;
}

void CRegExport::fail(const std::string& what)
{
    m_error = "line " + std::to_string(m_lineNo) + ": " + what;
    m_result = kRegExportMalformed;
}
