// vdrpack schema: the JSON Schemas of the documents the program writes, for
// deployment tools that check what they read.
#include "ToolCommands.h"

#include "ToolArgs.h"

#include "ResultSchema.h"

namespace {

const char kUsage[] = "usage: vdrpack schema result\n";
const char kHelp[] = "usage: vdrpack schema result\n"
                     "\n"
                     "Prints the JSON Schema (draft 2020-12) of the document a package writes with\n"
                     "\"/result FILE\" (docs/result.md describes each field and reason).\n";

} // namespace

int runSchema(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    int status = beginCommand(a, args, {}, {}, io, "schema", kUsage, kHelp);
    if (status >= 0)
        return status;
    if (a.positional().size() != 1 || a.positional()[0] != "result")
        return usageError(io, "schema", "needs the document's name: result", kUsage);
    io.out += kResultSchemaText;
    return kToolOk;
}
