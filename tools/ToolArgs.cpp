#include "ToolArgs.h"

#include <algorithm>

bool CToolArgs::parse(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                      const std::vector<std::string>& valued)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h" || a == "/?") {
            m_bHelp = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
                m_values[a] = std::string();
                continue;
            }
            if (std::find(valued.begin(), valued.end(), a) != valued.end()) {
                if (i + 1 >= args.size()) {
                    m_error = "option " + a + " needs a value";
                    return false;
                }
                if (m_values.count(a)) {
                    m_error = "option " + a + " given twice";
                    return false;
                }
                m_values[a] = args[++i];
                continue;
            }
            m_error = "unknown option " + a;
            return false;
        }
        m_positional.push_back(a);
    }
    return true;
}

std::string CToolArgs::value(const std::string& name) const
{
    auto it = m_values.find(name);
    return it == m_values.end() ? std::string() : it->second;
}
