#pragma once
// A scratch directory for one vdrpack test, removed afterwards, with file
// helpers and a runner that captures a command's output and status.

#include "TestFiles.h"
#include "ToolRun.h"

#include <string>
#include <vector>

class CToolTestDir {
public:
    CToolTestDir();
    ~CToolTestDir();
    CToolTestDir(const CToolTestDir&) = delete;
    CToolTestDir& operator=(const CToolTestDir&) = delete;

    // path of name inside the directory
    std::string path(const std::string& name) const;
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    TempDir m_dir;
};

struct ToolResult {
    int status;
    std::string out;
    std::string err;
};

ToolResult runTool(const std::vector<std::string>& args);
