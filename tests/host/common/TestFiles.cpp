#include "TestFiles.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

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
    return fs::exists(path, ec);
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
    // A name no other test program is using: creating the directory fails
    // when it exists, and the next name is tried.
    static std::atomic<unsigned> serial{0};
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    for (int attempt = 0; !ec && attempt < 100; ++attempt) {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        const fs::path dir = base / ("vdr-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
        if (fs::create_directory(dir, ec)) {
            m_path = dir.string();
            return;
        }
    }
    std::fprintf(stderr, "could not make a scratch directory\n");
    std::abort();
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
    if (ec)
        std::fprintf(stderr, "could not remove %s\n", m_path.c_str());
#ifndef _WIN32
    // The package reader joins a directory and a name with a backslash, as
    // on Windows: here "<dir>\name" is a file beside the directory.
    const fs::path dir(m_path);
    const std::string prefix = dir.filename().string() + "\\";
    for (const auto& entry : fs::directory_iterator(dir.parent_path(), ec))
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            fs::remove(entry.path(), ec);
#endif
}

std::string TempDir::file(const std::string& name) const
{
    return (fs::path(m_path) / name).string();
}

std::string TempDir::write(const std::string& name, const Bytes& data) const
{
    const std::string path = file(name);
    writeFile(path, data);
    return path;
}

WorkingDir::WorkingDir(const std::string& path)
{
    std::error_code ec;
    m_saved = fs::current_path(ec).string();
    fs::current_path(path, ec);
    if (ec)
        std::fprintf(stderr, "could not enter %s\n", path.c_str());
}

WorkingDir::~WorkingDir()
{
    std::error_code ec;
    if (!m_saved.empty())
        fs::current_path(m_saved, ec);
    if (ec)
        std::fprintf(stderr, "could not return to %s\n", m_saved.c_str());
}
