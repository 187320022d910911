#pragma once
// The line rules of registry export files as one table, read by the export
// reader natively and, under Wine, also imported with the registry editor
// itself (regedit /s) and read back from the registry: both must give the
// table's answer.

#include "RegExport.h"

#include <string>
#include <vector>

// Every rule's keys live below this key of the local machine; "%K%" in a
// rule's text stands for it with its root.
extern const char kRuleBase[];

struct RegRule {
    const char* name;
    const char* text; // the whole file, header included; CR LF between lines unless it says otherwise
    bool bUnicode;    // written as UTF-16LE with byte-order mark
    int result;       // what the reader returns
    // What is read below kRuleBase, one line each, in any order: "[path]"
    // for each key (folded, relative to the base, the keys above included),
    // "path \"name\" text" for a value the program reads as a string,
    // "path \"name\" -" for one it reads as missing.
    std::vector<std::string> expect;
    // Non-null where Wine's registry editor differs from Windows': why.
    // The reader follows Windows; the import under Wine is then not compared.
    const char* wineDiffers;
};

const std::vector<RegRule>& regRules();

// The rule's file as bytes.
std::string ruleFile(const RegRule& rule);

// What the reader read below kRuleBase, in the table's notation, sorted.
std::vector<std::string> dumpExport(const CRegExport& reg);

// The table's lines sorted, for comparing.
std::vector<std::string> sortedLines(std::vector<std::string> lines);
