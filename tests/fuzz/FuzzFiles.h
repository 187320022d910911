#pragma once
// What the fuzz targets share: a scratch directory for the whole run (the
// code under test reads and writes real files), the names in a directory,
// and a check that stops the run with a message libFuzzer keeps beside the
// input that broke it.

#include "TestFiles.h"

#include <set>
#include <string>

// The names of the entries in dir (not recursive); empty when it is missing.
std::set<std::string> dirEntries(const std::string& dir);

// Removes everything inside dir, keeping dir itself.
void emptyDir(const std::string& dir);

// Prints "fuzz check failed: what" and aborts: libFuzzer then saves the input.
[[noreturn]] void fuzzFail(const char* what);

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            fuzzFail(#cond);                                                                                           \
    } while (0)
