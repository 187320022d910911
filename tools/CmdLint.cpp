// vdrpack lint: the mistakes in a patch information file that make a
// package do nothing or the wrong thing on every machine.
#include "ToolCommands.h"

#include "PatchLint.h"
#include "ToolArgs.h"
#include "ToolFiles.h"
#include "ToolJson.h"

namespace {

const char kUsage[] = "usage: vdrpack lint PATCH.ini [--json]\n";
const char kHelp[] = "usage: vdrpack lint PATCH.ini [--json]\n"
                     "\n"
                     "Reads PATCH.ini as the program does and reports every finding with its code, severity, line and\n"
                     "a one-line fix: missing or misspelled sections and keys, counts that do not match the entries,\n"
                     "URLs the program cannot use, Info entries that never match or match the wrong machines, pins\n"
                     "that cannot pass. Exit status 1 when there is an error, 0 with warnings and notes alone.\n"
                     "--json prints a JSON object instead of text. \"vdrpack build\" refuses a file with errors.\n";

} // namespace

std::string lintSummary(const std::vector<LintFinding>& findings)
{
    int counts[3] = {};
    for (const LintFinding& f : findings)
        ++counts[f.severity];
    return std::to_string(counts[kLintError]) + " error(s), " + std::to_string(counts[kLintWarning]) + " warning(s), " +
           std::to_string(counts[kLintNote]) + " note(s)";
}

std::string lintText(const std::string& path, const std::vector<LintFinding>& findings)
{
    std::string text;
    for (const LintFinding& f : findings) {
        text += path + ":" + (f.nLine > 0 ? std::to_string(f.nLine) + ":" : std::string()) + " " +
                severityName(f.severity) + " [" + f.code + "] " + f.message + "\n";
        text += "    fix: " + f.fix + "\n";
    }
    return text;
}

Json lintJson(const std::vector<LintFinding>& findings)
{
    Json list = Json::array();
    for (const LintFinding& f : findings)
        list.push_back(Json{{"code", f.code},
                            {"severity", severityName(f.severity)},
                            {"line", f.nLine > 0 ? Json(f.nLine) : Json(nullptr)},
                            {"message", jsonText(f.message)},
                            {"fix", jsonText(f.fix)}});
    return list;
}

int runLint(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    std::string bytes;
    int status = beginFileCommand(a, args, io, "lint", kUsage, kHelp, "PATCH.ini", bytes);
    if (status >= 0)
        return status;
    const std::string& path = a.positional()[0];

    std::vector<LintFinding> findings = lintPatchFile(bytes);
    bool errors = hasLintErrors(findings);
    if (a.has("--json")) {
        Json j = jsonDocument("lint");
        j["file"] = jsonText(path);
        j["errors"] = errors;
        j["findings"] = lintJson(findings);
        io.out += jsonDump(j);
    } else {
        io.out += lintText(path, findings);
        io.out += path + ": " + (findings.empty() ? std::string("no findings") : lintSummary(findings)) + "\n";
    }
    return errors ? kToolFindings : kToolOk;
}
