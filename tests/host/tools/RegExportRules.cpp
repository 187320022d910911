#include "RegExportRules.h"

#include "common/TextHelpers.h"

#include <algorithm>
#include <set>

const char kRuleBase[] = "Software\\VdrRegRules";

namespace {

const char kK[] = "HKEY_LOCAL_MACHINE\\Software\\VdrRegRules";

} // namespace

const std::vector<RegRule>& regRules()
{
    static const std::vector<RegRule> rules = {
        {"strings, escapes, the default value, non-strings; a later value of a name in any case replaces it",
         R"(REGEDIT4

[%K%\A]
"Name"="Tape & Tune"
"Quoted"="say \"hi\" C:\\dir\\"
@="default"
"Flags"=dword:00000001
"Blob"=hex:01,02,03
"name"="second"
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "Name" second)", R"(a "Quoted" say "hi" C:\dir\)", R"(a "" default)", R"(a "Flags" -)",
          R"(a "Blob" -)"},
         nullptr},
        {"a comment ending in a backslash is only a comment",
         R"(REGEDIT4
[%K%\A]
; exported from C:\
"Prod_Ver"="2.5"
# also a comment \
"B"="1"
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "Prod_Ver" 2.5)", R"(a "B" 1)"},
         nullptr},
        {"blanks before lines and around \"=\", comments after values, blank lines",
         "REGEDIT4\n\n\t[%K%\\A]\n\n  \"A\"  =  \"x\" ; a note\n\"B\"=dword:2 ;n\n@ = \"d\"\n\n\n",
         false,
         kRegExportOk,
         {"[a]", R"(a "A" x)", R"(a "B" -)", R"(a "" d)"},
         nullptr},
        {"a hex value continues after \"\\\" past comments and blank lines",
         R"(REGEDIT4
[%K%\A]
"H"=hex(2):41,\ ; more below
; a comment

  42,\
  43,00
"I"=hex(1):\
  44,00
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "H" ABC)", R"(a "I" D)"},
         nullptr},
        {"a continuation that is no hex drops the value and is skipped itself",
         R"(REGEDIT4
[%K%\A]
"C"=hex(2):41,\
"D"="lost"
"E"="kept"
"F"=hex(2):41,42\
"G"="kept"
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "E" kept)", R"(a "G" kept)"},
         nullptr},
        {"hex strings get their terminator; empty data is no string; the text ends at the first terminator",
         R"(REGEDIT4
[%K%\A]
"T"=hex(2):25,50,25
"U"=hex(1):41,42,
"E"=hex(2):
"N"=hex(1):41,00,42,00
"M"=hex(7):41,00,00
"B"=hex:1,2
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "T" %P%)", R"(a "U" AB)", R"(a "E" -)", R"(a "N" A)", R"(a "M" -)", R"(a "B" -)"},
         nullptr},
        {"UTF-16: hex strings are UTF-16LE; a file that ends inside a continued value keeps it",
         "Windows Registry Editor Version 5.00\n\n[%K%\\A]\n\"S\"=hex(2):25,00,e9,00,00,00\n\"W\"=\"w\"\n"
         "\"X\"=hex(1):58,00,\\\n",
         true,
         kRegExportOk,
         {"[a]", "a \"S\" %\xE9", R"(a "W" w)", R"(a "X" X)"},
         nullptr},
        {"UTF-16 with CR line ends only",
         "Windows Registry Editor Version 5.00\r\r[%K%\\A]\r\"V\"=\"1\"\r\"W\"=\"2\"",
         true,
         kRegExportOk,
         {"[a]", R"(a "V" 1)", R"(a "W" 2)"},
         nullptr},
        {"removing a key removes what is below it only, and the values after it until the next key",
         R"(REGEDIT4
[%K%\A]
"v"="1"
[%K%\A\Below]
"v"="2"
[%K%\AB]
"v"="3"
[-%K%\a]
"x"="skipped"
[%K%\AB]
"w"="4"
)",
         false,
         kRegExportOk,
         {"[ab]", R"(ab "v" 3)", R"(ab "w" 4)"},
         nullptr},
        {"a removed key named again starts empty",
         R"(REGEDIT4
[%K%\A]
"old"="1"
[-%K%\A]
[%K%\A]
"new"="2"
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "new" 2)"},
         nullptr},
        {"removing values: \"=-\" with blanks or a comment after it; other text keeps the value",
         R"(REGEDIT4
[%K%\A]
"v"="1"
"w"="2"
"x"="3"
"missing"=-
"v"=-
"W" = - ; gone
"x"=-junk
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "x" 3)"},
         nullptr},
        {"lines that are none of the forms are skipped, as are values with text after them or unknown types",
         R"(REGEDIT4
[%K%\A]
random text
"A"="1" junk
"B" "1"
"C"=qword:1
"D"=DWORD:1
"F"=dword:123456789
"G"="unterminated
"H"=hex(0x2):41,00
"I"=hex:1,,2
"J"=hex:100
"K"="1"
"L\0"="1"
"M"=hex(ffffffff):00
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "K" 1)", R"(a "M" -)"},
         nullptr},
        {"a key line without \"]\" or with a space after \"[\" is skipped: the values go to the key before",
         R"(REGEDIT4
[%K%\A]
[%K%\B
"v"="1"
[ %K%\C]
"w"="2"
[%K%\D] text after
"x"="3"
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "v" 1)", R"(a "w" 2)", "[d]", R"(d "x" 3)"},
         nullptr},
        {"roots in any case, never abbreviated; values of a key under no root are skipped",
         R"(REGEDIT4
[hkey_local_machine\Software\VdrRegRules\A]
"v"="1"
[HKLM\Software\VdrRegRules\B]
"w"="2"
[HKEY_NOWHERE\Software]
"x"="3"
"#"="hash named value"
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "v" 1)"},
         nullptr},
        {"values before the first key are skipped",
         R"(REGEDIT4
"v"="1"
[%K%\A]
"w"="2"
)",
         false,
         kRegExportOk,
         {"[a]", R"(a "w" 2)"},
         nullptr},
        {"the header may follow blanks; either header in either encoding",
         "  Windows Registry Editor Version 5.00\n[%K%\\A]\n\"v\"=\"1\"\n",
         false,
         kRegExportOk,
         {"[a]", R"(a "v" 1)"},
         nullptr},
        {"a blank line before the header: not an export, nothing imported",
         "\nREGEDIT4\n[%K%\\A]\n\"v\"=\"1\"\n",
         false,
         kRegExportNoHeader,
         {},
         nullptr},
        {"a header with other text: not an export",
         "REGEDIT4 \n[%K%\\A]\n\"v\"=\"1\"\n",
         false,
         kRegExportNoHeader,
         {},
         nullptr},
        {"removing a key under no root stops the editor: what came before stays",
         R"(REGEDIT4
[%K%\A]
"v"="1"
[-HKEY_NOWHERE\Software]
[%K%\B]
"w"="2"
)",
         false,
         kRegExportMalformed,
         {"[a]", R"(a "v" 1)"},
         nullptr},
    };
    return rules;
}

std::string ruleFile(const RegRule& rule)
{
    std::string text = rule.text;
    for (std::size_t at; (at = text.find("%K%")) != std::string::npos;)
        text.replace(at, 3, kK);
    if (text.find('\r') == std::string::npos) {
        std::string crlf;
        for (char c : text)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        text = crlf;
    }
    if (!rule.bUnicode)
        return text;
    std::string bytes = "\xFF\xFE";
    for (char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::vector<std::string> dumpExport(const CRegExport& reg)
{
    const std::string base = asciiFolded(kRuleBase) + "\\";
    std::set<std::string> lines;
    for (const RegExportKey& k : reg.keys()) {
        std::string path = asciiFolded(std::string(k.path));
        if (path.compare(0, base.size(), base) != 0)
            continue;
        path.erase(0, base.size());
        // The key and the keys above it, up to the base.
        for (std::size_t end = path.size(); end > 0 && end != std::string::npos; end = path.rfind('\\', end - 1))
            lines.insert("[" + path.substr(0, end) + "]");
        for (const RegExportValue& v : k.values)
            lines.insert(path + " \"" + std::string(v.name) + "\" " + (v.bString ? std::string(v.text) : "-"));
    }
    return std::vector<std::string>(lines.begin(), lines.end());
}

std::vector<std::string> sortedLines(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}
