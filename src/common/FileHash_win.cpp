#include "common/FileHash.h"

#include "common/Handles.h"

#include <cstdio>

bool sha256OfFile(const char* path, unsigned char digest[kSha256Size])
{
    if (!path)
        return false;
    // Declared in this order so that the hash goes before its provider.
    CBCryptAlgOwner alg;
    CBCryptHashOwner hash;
    if (BCryptOpenAlgorithmProvider(alg.receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
        return false;
    if (BCryptCreateHash(alg.get(), hash.receive(), nullptr, 0, nullptr, 0, 0) < 0)
        return false;
    std::FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    unsigned char buf[16384];
    std::size_t n;
    bool ok = true;
    while (ok && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
        ok = BCryptHashData(hash.get(), buf, static_cast<ULONG>(n), 0) >= 0;
    ok = ok && !std::ferror(f);
    std::fclose(f);
    return ok && BCryptFinishHash(hash.get(), digest, kSha256Size, 0) >= 0;
}
