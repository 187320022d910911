#include "ToolTestDir.h"

CToolTestDir::CToolTestDir() = default;

CToolTestDir::~CToolTestDir() = default;

std::string CToolTestDir::path(const std::string& name) const { return m_dir.file(name); }

void CToolTestDir::write(const std::string& name, const std::string& bytes) const { writeFile(path(name), bytes); }

std::string CToolTestDir::read(const std::string& name) const { return readFile(path(name)); }

bool CToolTestDir::exists(const std::string& name) const { return fileExists(path(name)); }

ToolResult runTool(const std::vector<std::string>& args)
{
    ToolOutput io;
    int status = runVdrpack(args, io);
    return ToolResult{status, io.out, io.err};
}
