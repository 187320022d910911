#include "ToolFiles.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

bool readWholeFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buf[16384];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    // A directory opens on some systems and then fails to read.
    return ok;
}

bool replaceFile(const std::string& path, const std::string& bytes,
                 const std::function<bool(const std::string&)>& verify)
{
    std::string temp = path + ".vdrpack-new";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    ok = ok && (!verify || verify(temp));
    std::error_code ec;
    if (ok)
        std::filesystem::rename(temp, path, ec);
    if (!ok || ec) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::string baseName(const std::string& path)
{
    std::size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string absolutePath(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    return ec ? std::string() : p.lexically_normal().string();
}
