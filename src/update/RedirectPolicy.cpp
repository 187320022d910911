#include "update/RedirectPolicy.h"

#include "common/TextHelpers.h"

#include <cstring>

namespace {

// The scheme of an absolute URL ("" for a relative reference), folded.
std::string schemeOf(const std::string& url)
{
    const std::size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0)
        return "";
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = url[i];
        const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alpha && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return "";
    }
    return asciiFolded(url.substr(0, colon));
}

// `ref` resolved against the absolute http(s) URL `base`, as far as a
// Location needs it: absolute, scheme-relative, path-absolute, or a path
// beside the base's last segment.
std::string resolved(const std::string& base, const std::string& ref)
{
    if (!schemeOf(ref).empty())
        return ref;
    const std::size_t authority = base.find("//");
    if (ref.compare(0, 2, "//") == 0)
        return base.substr(0, base.find(':') + 1) + ref;
    const std::size_t pathStart = authority == std::string::npos ? base.size() : base.find('/', authority + 2);
    const std::string origin = base.substr(0, pathStart);
    if (!ref.empty() && ref[0] == '/')
        return origin + ref;
    std::string dir =
        pathStart == std::string::npos ? "/" : base.substr(pathStart, base.find_first_of("?#", pathStart) - pathStart);
    dir = dir.substr(0, dir.rfind('/') + 1);
    return origin + (dir.empty() ? "/" : dir) + ref;
}

} // namespace

const char* redirectVerdictText(RedirectVerdict verdict)
{
    switch (verdict) {
    case RedirectVerdict::Follow:
        return "followed";
    case RedirectVerdict::TooMany:
        return "more than 10 redirects";
    case RedirectVerdict::ToPlainHttp:
        return "redirect from https to http refused";
    case RedirectVerdict::NotHttp:
        return "redirect to another scheme than http or https refused";
    case RedirectVerdict::Malformed:
        return "malformed redirect refused";
    }
    return "?";
}

RedirectVerdict CRedirectPolicy::onRedirect(const char* location)
{
    if (!location || !*location || std::strlen(location) > kMaxUrl)
        return RedirectVerdict::Malformed;
    for (const char* p = location; *p; ++p)
        if (static_cast<unsigned char>(*p) <= 0x20 || *p == '\x7f')
            return RedirectVerdict::Malformed;
    if (m_redirects >= kMaxRedirects)
        return RedirectVerdict::TooMany;
    const std::string target = resolved(m_url, location);
    if (target.size() > kMaxUrl)
        return RedirectVerdict::Malformed;
    const std::string to = schemeOf(target);
    if (to != "http" && to != "https")
        return RedirectVerdict::NotHttp;
    if (to == "http" && schemeOf(m_url) == "https")
        return RedirectVerdict::ToPlainHttp;
    m_url = target;
    ++m_redirects;
    return RedirectVerdict::Follow;
}
