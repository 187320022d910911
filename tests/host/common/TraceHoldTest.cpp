// Lines traced before the launcher decides about the log file are held and
// written when the file opens: at most kTraceHeldLines of them, in order,
// once, followed by a note of how many were not kept. The hold lives for the
// whole process, so each case runs in a child process of its own.
#include "common/Trace.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct HoldCase {
    const char* name;
    int traced;       // lines traced before the log file is decided
    bool failedFirst; // a first open that fails (the held lines are dropped)
};

const HoldCase kHoldCases[] = {
    {"nothing held", 0, false},
    {"one line", 1, false},
    {"exactly the cap", kTraceHeldLines, false},
    {"one past the cap", kTraceHeldLines + 1, false},
    {"well past the cap", kTraceHeldLines + 40, false},
    {"failed open drops the hold", 5, true},
};

// In the child: the run's trace calls for one case; the exit code tells
// which open did not behave.
[[noreturn]] void runCase(const HoldCase& c, const std::string& log, const std::string& missing)
{
    for (int i = 0; i < c.traced; ++i)
        traceLog("[Veldrun] held %d\n", i);
    if (c.failedFirst && traceOpenLog(missing.c_str()) == 0)
        _exit(10);
    if (traceOpenLog(log.c_str()) != 0)
        _exit(11);
    traceLog("[Veldrun] after open\n");
    // Opening again must not write the held lines a second time.
    if (traceOpenLog(log.c_str()) != 0)
        _exit(12);
    traceRaw("[Veldrun] after reopen");
    _exit(0);
}

// The texts of the log's records, each without its time stamp.
std::vector<std::string> recordTexts(const std::string& bytes)
{
    std::vector<std::string> texts;
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);)
        texts.push_back(line.substr(line.find(' ') + 1));
    return texts;
}

std::vector<std::string> expectedTexts(const HoldCase& c)
{
    std::vector<std::string> texts;
    if (!c.failedFirst) {
        const int kept = c.traced < kTraceHeldLines ? c.traced : kTraceHeldLines;
        for (int i = 0; i < kept; ++i)
            texts.push_back("[Veldrun] held " + std::to_string(i));
        if (c.traced > kept)
            texts.push_back("[Veldrun] (" + std::to_string(c.traced - kept) + " earlier trace lines not kept)");
    }
    texts.push_back("[Veldrun] after open");
    texts.push_back("[Veldrun] after reopen");
    return texts;
}

TEST(TraceHold, HeldLinesAreCappedAndWrittenOnceWhenTheLogOpens)
{
    for (const HoldCase& c : kHoldCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string log = dir.file("run.log");
        const std::string missing = dir.file("no-such-folder/run.log");
        pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0)
            runCase(c, log, missing);
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(0, WEXITSTATUS(status));
        EXPECT_EQ(expectedTexts(c), recordTexts(readFile(log)));
    }
}

} // namespace
