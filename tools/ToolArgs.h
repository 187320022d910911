#pragma once
// The command-line shape every vdrpack command shares: positional
// arguments, flags ("--json") and options with a value ("-o FILE"), with
// "--help" (or "-h", "/?") anywhere asking for the command's help.

#include <map>
#include <string>
#include <vector>

class CToolArgs {
public:
    // flags and valued name the options the command accepts. False, with
    // error set, for an unknown option or an option without its value.
    bool parse(const std::vector<std::string>& args, const std::vector<std::string>& flags,
               const std::vector<std::string>& valued);

    bool help() const { return m_bHelp; }
    bool has(const std::string& name) const { return m_values.count(name) != 0; }
    std::string value(const std::string& name) const;
    const std::vector<std::string>& positional() const { return m_positional; }
    const std::string& error() const { return m_error; }

private:
    bool m_bHelp = false;
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_positional;
    std::string m_error;
};
