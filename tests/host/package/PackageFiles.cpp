#include "PackageFiles.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

std::string markerText()
{
    std::string half = "!vdrsign!";
    return half + half;
}

Bytes markerField(unsigned char last)
{
    Bytes f = markerText();
    f.push_back('\0');
    f.push_back(static_cast<char>(last));
    return f;
}

Bytes le32(std::uint32_t v)
{
    Bytes b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return b;
}

Bytes pseudoRandomBytes(std::size_t n, std::uint32_t seed)
{
    Bytes b(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return b;
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

bool fileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

Bytes composePackage(const Bytes& exe, const Bytes& name, const Bytes& content, const Bytes& trailing,
                     std::int64_t startOffset, std::int64_t nameLen)
{
    std::uint32_t start = static_cast<std::uint32_t>(startOffset < 0 ? static_cast<std::int64_t>(exe.size()) : startOffset);
    std::uint32_t len = static_cast<std::uint32_t>(nameLen < 0 ? static_cast<std::int64_t>(name.size()) : nameLen);
    return exe + le32(len) + name + content + le32(start) + markerField() + trailing;
}

TempDir::TempDir()
{
    char tmpl[] = "/tmp/vdr-pkg-XXXXXX";
    const char* made = mkdtemp(tmpl);
    m_path = made ? made : "/tmp";
}

TempDir::~TempDir()
{
    if (m_path.rfind("/tmp/vdr-pkg-", 0) == 0) {
        std::string cmd = "rm -rf '" + m_path + "'";
        if (std::system(cmd.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", m_path.c_str());
    }
}

WorkingDir::WorkingDir(const std::string& path)
{
    char cwd[4096] = {};
    if (getcwd(cwd, sizeof cwd))
        m_saved = cwd;
    if (chdir(path.c_str()) != 0)
        std::fprintf(stderr, "could not enter %s\n", path.c_str());
}

WorkingDir::~WorkingDir()
{
    if (!m_saved.empty() && chdir(m_saved.c_str()) != 0)
        std::fprintf(stderr, "could not return to %s\n", m_saved.c_str());
}
