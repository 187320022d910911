#include "package/Authenticode.h"

#include "package/PackageTrailer.h"
#include "package/PeLayout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// DER: one tag-length-value at a time, over a span that holds it
// ---------------------------------------------------------------------------

enum : unsigned char {
    kTagInteger = 0x02,
    kTagOctetString = 0x04,
    kTagOid = 0x06,
    kTagSequence = 0x30,
    kTagSet = 0x31,
    kTagContext0 = 0xA0,  // [0] constructed
    kTagContext1 = 0xA1,  // [1] constructed
    kTagContext3 = 0xA3,  // [3] constructed
    kTagContext0P = 0x80, // [0] primitive
};

struct Der {
    const unsigned char* p = nullptr;
    std::size_t n = 0;
    bool empty() const { return n == 0; }
    bool equals(const Der& o) const { return n == o.n && (n == 0 || std::memcmp(p, o.p, n) == 0); }
};

struct Tlv {
    unsigned char tag = 0;
    Der content; // the value
    Der whole;   // tag, length and value
};

// Takes the next TLV off the front of in. Only single-byte tags and definite
// lengths of at most four bytes: DER, as Authenticode writes it. False when
// the element does not fit inside in.
bool next(Der& in, Tlv& out)
{
    if (in.n < 2)
        return false;
    const unsigned char* start = in.p;
    unsigned char tag = in.p[0];
    if ((tag & 0x1F) == 0x1F)
        return false;
    std::size_t len = in.p[1];
    std::size_t head = 2;
    if (len & 0x80) {
        std::size_t count = len & 0x7F;
        if (count == 0 || count > 4 || in.n < 2 + count)
            return false;
        len = 0;
        for (std::size_t i = 0; i < count; ++i)
            len = (len << 8) | in.p[2 + i];
        head += count;
    }
    if (len > in.n - head)
        return false;
    out.tag = tag;
    out.content = Der{start + head, len};
    out.whole = Der{start, head + len};
    in.p += head + len;
    in.n -= head + len;
    return true;
}

// The next TLV, which must carry tag.
bool expect(Der& in, unsigned char tag, Tlv& out)
{
    return next(in, out) && out.tag == tag;
}

// The contents of the next TLV, which must carry tag.
bool enter(Der& in, unsigned char tag, Der& inside)
{
    Tlv tlv;
    if (!expect(in, tag, tlv))
        return false;
    inside = tlv.content;
    return true;
}

// The next TLV when it carries tag; otherwise in stays as it was.
bool optional(Der& in, unsigned char tag, Tlv& out)
{
    if (in.n == 0 || in.p[0] != tag)
        return false;
    return next(in, out);
}

// Object identifiers compared by their DER contents.
const unsigned char kOidSignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const unsigned char kOidSubjectKeyId[] = {0x55, 0x1D, 0x0E};

bool isOid(const Der& content, const unsigned char* oid, std::size_t len)
{
    return content.n == len && std::memcmp(content.p, oid, len) == 0;
}

// ---------------------------------------------------------------------------
// Names as text
// ---------------------------------------------------------------------------

struct AttrName {
    unsigned char oid[10];
    std::size_t len;
    const char* name;
};

const AttrName kAttrNames[] = {
    {{0x55, 0x04, 0x03}, 3, "CN"},
    {{0x55, 0x04, 0x0B}, 3, "OU"},
    {{0x55, 0x04, 0x0A}, 3, "O"},
    {{0x55, 0x04, 0x07}, 3, "L"},
    {{0x55, 0x04, 0x08}, 3, "ST"},
    {{0x55, 0x04, 0x06}, 3, "C"},
    {{0x55, 0x04, 0x09}, 3, "STREET"},
    {{0x55, 0x04, 0x05}, 3, "SERIALNUMBER"},
    {{0x09, 0x92, 0x26, 0x89, 0x93, 0xF2, 0x2C, 0x64, 0x01, 0x19}, 10, "DC"},
    {{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01}, 9, "E"},
};

void appendHexByte(std::string& out, unsigned value)
{
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", value & 0xFFu);
    out += hex;
}

// An attribute type as its short name, or in dotted decimal.
void appendAttrType(std::string& out, const Der& oid)
{
    for (const AttrName& a : kAttrNames)
        if (isOid(oid, a.oid, a.len)) {
            out += a.name;
            return;
        }
    if (oid.empty()) {
        out += "?";
        return;
    }
    out += std::to_string(oid.p[0] / 40) + "." + std::to_string(oid.p[0] % 40);
    std::uint64_t arc = 0;
    for (std::size_t i = 1; i < oid.n; ++i) {
        if (arc >> 56) { // an arc past 64 bits: not worth spelling
            out += ".?";
            return;
        }
        arc = (arc << 7) | (oid.p[i] & 0x7Fu);
        if (!(oid.p[i] & 0x80)) {
            out += "." + std::to_string(arc);
            arc = 0;
        }
    }
}

// One character of a value, escaped so that the text stays ASCII, printable
// and unambiguous: the separators of a name with a backslash, everything
// else outside printable ASCII as \XX of its UTF-8 bytes.
void appendValueChar(std::string& out, std::uint32_t c, bool first)
{
    if (c >= 0x20 && c < 0x7F) {
        if (std::strchr(",+\"\\<>;=", static_cast<int>(c)) || (first && (c == '#' || c == ' ')))
            out += '\\';
        out += static_cast<char>(c);
        return;
    }
    unsigned char utf8[4];
    std::size_t n = 0;
    if (c < 0x80) {
        utf8[n++] = static_cast<unsigned char>(c);
    } else if (c < 0x800) {
        utf8[n++] = static_cast<unsigned char>(0xC0 | (c >> 6));
        utf8[n++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        utf8[n++] = static_cast<unsigned char>(0xE0 | (c >> 12));
        utf8[n++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        utf8[n++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
        utf8[n++] = static_cast<unsigned char>(0xF0 | ((c >> 18) & 0x07));
        utf8[n++] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        utf8[n++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        utf8[n++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    for (std::size_t i = 0; i < n; ++i) {
        out += '\\';
        appendHexByte(out, utf8[i]);
    }
}

// An attribute value: the string kinds as their characters (UTF-8 decoded
// loosely: a byte that starts no sequence stands for itself), anything else
// as "#" and the hex of its DER.
void appendAttrValue(std::string& out, const Tlv& v)
{
    const unsigned char* p = v.content.p;
    std::size_t n = v.content.n;
    bool first = true;
    switch (v.tag) {
    case 0x0C: // UTF8String
        for (std::size_t i = 0; i < n; first = false) {
            std::uint32_t c = p[i];
            std::size_t more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
            if (more && i + more < n) {
                c &= 0x3Fu >> more;
                for (std::size_t k = 1; k <= more; ++k)
                    c = (c << 6) | (p[i + k] & 0x3Fu);
                i += more + 1;
            } else {
                ++i;
            }
            appendValueChar(out, c, first);
        }
        return;
    case 0x13: // PrintableString
    case 0x14: // T61String, read as Latin-1
    case 0x16: // IA5String
        for (std::size_t i = 0; i < n; ++i)
            appendValueChar(out, p[i], i == 0);
        return;
    case 0x1E: // BMPString: UCS-2, big-endian
        for (std::size_t i = 0; i + 1 < n; i += 2)
            appendValueChar(out, (std::uint32_t(p[i]) << 8) | p[i + 1], i == 0);
        return;
    default:
        out += '#';
        for (std::size_t i = 0; i < v.whole.n; ++i)
            appendHexByte(out, v.whole.p[i]);
        return;
    }
}

// A Name (SEQUENCE OF SET OF AttributeTypeAndValue) in the order people
// read it: the most specific part (usually CN) first, parts joined by ", ",
// the attributes of one part by "+". False when the DER is damaged.
bool nameText(const Der& name, std::string& text)
{
    std::vector<std::string> parts;
    Der rdns = name;
    while (!rdns.empty()) {
        Der attrs;
        if (!enter(rdns, kTagSet, attrs))
            return false;
        std::string part;
        while (!attrs.empty()) {
            Tlv type, value;
            Der inner;
            if (!enter(attrs, kTagSequence, inner) || !expect(inner, kTagOid, type) || !next(inner, value))
                return false;
            if (!part.empty())
                part += '+';
            appendAttrType(part, type.content);
            part += '=';
            appendAttrValue(part, value);
        }
        parts.push_back(part);
    }
    text.clear();
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (!text.empty())
            text += ", ";
        text += *it;
    }
    if (text.size() > kSignerSubjectMax)
        text = text.substr(0, kSignerSubjectMax - 3) + "...";
    return true;
}

// ---------------------------------------------------------------------------
// Certificates and the signer
// ---------------------------------------------------------------------------

// What of a Certificate a SignerInfo can name it by.
struct CertParts {
    Tlv whole;  // the Certificate
    Tlv serial; // INTEGER
    Tlv issuer; // Name
    Tlv subject;
    Der keyId; // subject key identifier, empty without one
};

// The subject key identifier among a certificate's extensions ([3]); empty
// when there is none. False when the DER is damaged.
bool subjectKeyId(const Der& extensions, Der& keyId)
{
    Der outer = extensions;
    Der items;
    if (!enter(outer, kTagSequence, items))
        return false;
    while (!items.empty()) {
        Tlv oid, critical, value;
        Der e;
        if (!enter(items, kTagSequence, e) || !expect(e, kTagOid, oid))
            return false;
        optional(e, 0x01, critical); // BOOLEAN
        if (!expect(e, kTagOctetString, value))
            return false;
        if (isOid(oid.content, kOidSubjectKeyId, sizeof kOidSubjectKeyId)) {
            Der v = value.content;
            if (!enter(v, kTagOctetString, keyId))
                return false;
        }
    }
    return true;
}

bool parseCertificate(const Tlv& cert, CertParts& out)
{
    out.whole = cert;
    Der c = cert.content;
    Tlv version, algorithm, validity, key;
    Der t;
    if (!enter(c, kTagSequence, t))
        return false;
    optional(t, kTagContext0, version);
    if (!expect(t, kTagInteger, out.serial) || !expect(t, kTagSequence, algorithm) ||
        !expect(t, kTagSequence, out.issuer) || !expect(t, kTagSequence, validity) ||
        !expect(t, kTagSequence, out.subject) || !expect(t, kTagSequence, key))
        return false;
    while (!t.empty()) {
        Tlv field;
        if (!next(t, field))
            return false;
        if (field.tag == kTagContext3 && !subjectKeyId(field.content, out.keyId))
            return false;
    }
    return true;
}

// How the SignerInfo names its certificate.
struct SignerId {
    Der issuer; // issuerAndSerialNumber
    Der serial;
    Der keyId; // or [0] subjectKeyIdentifier
};

bool parseSignerId(const Der& signerInfos, SignerId& id)
{
    Der infos = signerInfos;
    Tlv version, sid;
    Der i;
    if (!enter(infos, kTagSequence, i) || !expect(i, kTagInteger, version) || !next(i, sid))
        return false;
    if (sid.tag == kTagContext0P) {
        id.keyId = sid.content;
        return !id.keyId.empty();
    }
    if (sid.tag != kTagSequence)
        return false;
    Der s = sid.content;
    Tlv issuer, serial;
    if (!expect(s, kTagSequence, issuer) || !expect(s, kTagInteger, serial))
        return false;
    id.issuer = issuer.whole;
    id.serial = serial.whole;
    return true;
}

bool matches(const CertParts& cert, const SignerId& id)
{
    if (!id.keyId.empty())
        return cert.keyId.equals(id.keyId);
    return cert.issuer.whole.equals(id.issuer) && cert.serial.whole.equals(id.serial);
}

} // namespace

bool CMemorySource::size(std::uint64_t* bytes)
{
    *bytes = m_nLen;
    return true;
}

bool CMemorySource::readAt(std::uint64_t offset, void* buf, std::size_t len)
{
    if (offset > m_nLen || len > m_nLen - offset)
        return false;
    if (len)
        std::memcpy(buf, m_pData + offset, len);
    return true;
}

int readSignedData(const unsigned char* der, std::size_t len, SignerCertificate* out)
{
    Der in{der, len};
    Tlv type, version, digests, content, certs, crls, signers;
    Der ci, e, sd;
    if (!enter(in, kTagSequence, ci) || !expect(ci, kTagOid, type) ||
        !isOid(type.content, kOidSignedData, sizeof kOidSignedData) || !enter(ci, kTagContext0, e) ||
        !enter(e, kTagSequence, sd))
        return kSignerMalformed;
    if (!expect(sd, kTagInteger, version) || !expect(sd, kTagSet, digests) || !expect(sd, kTagSequence, content))
        return kSignerMalformed;
    bool haveCerts = optional(sd, kTagContext0, certs);
    optional(sd, kTagContext1, crls);
    if (!haveCerts || !expect(sd, kTagSet, signers))
        return kSignerMalformed;
    SignerId id;
    if (!parseSignerId(signers.content, id))
        return kSignerMalformed;

    // The certificates may come in any order; other choices than a plain
    // Certificate (attribute certificates and the like) are passed over. A
    // SignerInfo that two certificates answer to names no one signer.
    Der list = certs.content;
    CertParts signer;
    int found = 0;
    while (!list.empty()) {
        Tlv item;
        if (!next(list, item))
            return kSignerMalformed;
        if (item.tag != kTagSequence)
            continue;
        CertParts cert;
        if (!parseCertificate(item, cert))
            return kSignerMalformed;
        if (matches(cert, id)) {
            signer = cert;
            ++found;
        }
    }
    if (found != 1)
        return kSignerMalformed;
    SignerCertificate result;
    const Der& whole = signer.whole.whole;
    result.der.assign(reinterpret_cast<const char*>(whole.p), whole.n);
    if (!nameText(signer.subject.content, result.subject))
        return kSignerMalformed;
    CSha256 sha;
    sha.update(whole.p, whole.n);
    sha.finish(result.sha256);
    if (out)
        *out = result;
    return kSignerFound;
}

int readCertTable(const unsigned char* table, std::size_t len, SignerCertificate* out)
{
    // WIN_CERTIFICATE: dwLength (header included), wRevision,
    // wCertificateType, then the certificate. The platform checks the first
    // entry; so does this.
    enum { kHeader = 8, kTypePkcsSignedData = 2 };
    if (len < kHeader)
        return kSignerMalformed;
    std::uint32_t length = readLe32(table);
    std::uint16_t type = readLe16(table + 6);
    if (length < kHeader || length > len || type != kTypePkcsSignedData)
        return kSignerMalformed;
    return readSignedData(table + kHeader, length - kHeader, out);
}

int locateCertTable(CByteSource& file, CertTableSpan* span)
{
    std::uint64_t fileSize = 0;
    if (!file.size(&fileSize))
        return kSignerUnreadable;
    // The headers up to the security directory, where the PE header says
    // they are (at most 1 MiB in), read as the package reader reads them.
    enum { kDos = 64, kUpToSecurity = 24 + 112 + 5 * 8, kMaxPeOffset = 1 << 20 };
    unsigned char dos[kDos];
    if (fileSize < kDos)
        return kSignerUnsigned;
    if (!file.readAt(0, dos, sizeof dos))
        return kSignerUnreadable;
    std::uint64_t pe = readLe32(dos + 0x3C);
    if (dos[0] != 'M' || dos[1] != 'Z' || pe > kMaxPeOffset)
        return kSignerUnsigned;
    std::vector<unsigned char> head(static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, pe + kUpToSecurity)));
    if (!file.readAt(0, head.data(), head.size()))
        return kSignerUnreadable;
    PeLayout layout;
    if (!readPeLayout(head.data(), static_cast<std::int64_t>(head.size()), layout) || !layout.hasCertTable)
        return kSignerUnsigned;
    std::uint64_t offset = static_cast<std::uint64_t>(layout.certAt);
    std::uint64_t size = static_cast<std::uint64_t>(layout.certSize);
    if (size == 0 || size > kCertTableMaxSize || offset > fileSize || size > fileSize - offset)
        return kSignerMalformed;
    span->offset = offset;
    span->size = size;
    return kSignerFound;
}

int readProgramSigner(CByteSource& file, SignerCertificate* out)
{
    CertTableSpan span;
    int located = locateCertTable(file, &span);
    if (located != kSignerFound)
        return located;
    std::vector<unsigned char> table(static_cast<std::size_t>(span.size));
    if (!file.readAt(span.offset, table.data(), table.size()))
        return kSignerUnreadable;
    return readCertTable(table.data(), table.size(), out);
}

const char* signerReadText(int result)
{
    switch (result) {
    case kSignerUnsigned:
        return "not signed (no certificate table)";
    case kSignerFound:
        return "signed";
    case kSignerMalformed:
        return "a certificate table that cannot be read (damaged, or no signer's certificate in it)";
    default:
        return "the file could not be read";
    }
}
