#pragma once
// A throwaway directory of test files in the temporary directory, removed
// with everything in it when the object goes. Used by the host tests and,
// built for Windows, by the tests under Wine (the platform's profile reader
// needs full paths).

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

class CTestDir {
public:
    explicit CTestDir(const char* tag)
    {
        static std::atomic<int> serial{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        m_dir = std::filesystem::temp_directory_path() /
                ("vdr-" + std::string(tag) + "-" + std::to_string(stamp) + "-" + std::to_string(serial++));
        std::filesystem::create_directories(m_dir);
    }
    ~CTestDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    CTestDir(const CTestDir&) = delete;
    CTestDir& operator=(const CTestDir&) = delete;

    // Full path of a file in the directory (written or not).
    std::string path(const std::string& name) const { return (m_dir / name).string(); }

    // Writes the bytes as they are (no line-end translation); returns the path.
    std::string write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream out(m_dir / name, std::ios::binary | std::ios::trunc);
        out << bytes;
        return path(name);
    }

private:
    std::filesystem::path m_dir;
};
