// The program file's layout: the certificate table found in both formats,
// and the loaded headers compared with the file's, the image base aside.
#include "PackageFiles.h"

#include "package/PeLayout.h"

#include <gtest/gtest.h>

namespace {

auto bytesOf(const Bytes& b)
{
    return reinterpret_cast<const unsigned char*>(b.data());
}

TEST(PeLayout, CertificateTableInBothFormats)
{
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide);
        Bytes pe = minimalPe(wide);
        PeLayout layout;
        ASSERT_TRUE(readPeLayout(bytesOf(pe), static_cast<std::int64_t>(pe.size()), layout));
        EXPECT_FALSE(layout.hasCertTable);
        EXPECT_EQ(0x80 + 24 + (wide ? 0xf0 : 0xe0) + 40, layout.headersEnd);
        setCertTable(pe, wide, 0x1000, 0x208);
        ASSERT_TRUE(readPeLayout(bytesOf(pe), static_cast<std::int64_t>(pe.size()), layout));
        EXPECT_TRUE(layout.hasCertTable);
        EXPECT_EQ(0x1000, layout.certAt);
        EXPECT_EQ(0x208, layout.certSize);
        // Cut inside the section table: the table is still found where the
        // signature's digest looks; not a program: no layout.
        ASSERT_TRUE(readPeLayout(bytesOf(pe), layout.headersEnd - 1, layout));
        EXPECT_EQ(0, layout.headersEnd);
        EXPECT_EQ(0x1000, layout.certAt);
        EXPECT_FALSE(readPeLayout(bytesOf(Bytes(512, 'M')), 512, layout));
    }
}

TEST(PeLayout, LoadedHeadersMatchOnlyTheirOwnFile)
{
    struct Case {
        const char* what;
        std::size_t at; // offset of the byte changed in the loaded copy
        bool same;
    };
    const Case cases[] = {
        {"nothing changed", 511, true},
        {"image base rewritten by the loader", 0x80 + 24 + 28 + 2, true},
        {"checksum", 0x80 + 24 + 64, false},
        {"certificate table place", securityEntryAt(false), false},
        {"certificate table size", securityEntryAt(false) + 4, false},
        {"time stamp", 0x80 + 8, false},
        {"section header", 0x80 + 24 + 0xe0 + 12, false},
    };
    Bytes file = minimalPe(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes loaded = file;
        loaded[c.at] = static_cast<char>(loaded[c.at] ^ 0x5a);
        EXPECT_EQ(c.same, sameLoadedHeaders(bytesOf(loaded), 512, bytesOf(file), 512));
    }
    EXPECT_FALSE(sameLoadedHeaders(bytesOf(file), 512, bytesOf(Bytes(512, '\0')), 512));
}

} // namespace
