#include "TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

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
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

Bytes utf16le(const std::u16string& text)
{
    Bytes out = "\xFF\xFE";
    for (char16_t u : text) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vdr-test-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) {
        std::perror("mkdtemp");
        std::abort();
    }
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
    if (ec)
        std::fprintf(stderr, "could not remove %s\n", m_path.c_str());
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
