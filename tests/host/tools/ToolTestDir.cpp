#include "ToolTestDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

CToolTestDir::CToolTestDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vdrpack-test-XXXXXX").string();
    char* made = mkdtemp(&pattern[0]);
    EXPECT_NE(made, nullptr);
    m_dir = pattern;
}

CToolTestDir::~CToolTestDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

std::string CToolTestDir::path(const std::string& name) const
{
    return m_dir + "/" + name;
}

void CToolTestDir::write(const std::string& name, const std::string& bytes) const
{
    std::ofstream f(path(name), std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string CToolTestDir::read(const std::string& name) const
{
    std::ifstream f(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool CToolTestDir::exists(const std::string& name) const
{
    return std::filesystem::exists(path(name));
}

ToolResult runTool(const std::vector<std::string>& args)
{
    ToolOutput io;
    int status = runVdrpack(args, io);
    return ToolResult{status, io.out, io.err};
}
