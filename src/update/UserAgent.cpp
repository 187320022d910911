#include "update/UserAgent.h"

#include "VeldrunVersion.h"

std::string composeUserAgent(const char* platformAgent)
{
    std::string agent = "Veldrun/" VELDRUN_VERSION_TEXT;
    std::string platform;
    for (const char* p = platformAgent; p && *p; ++p)
        if (static_cast<unsigned char>(*p) >= 0x20 && *p != '\x7f')
            platform += *p;
    const std::size_t room = kMaxUserAgent - agent.size() - 1;
    if (platform.size() > room) {
        const std::size_t blank = platform.rfind(' ', room);
        platform.resize(blank == std::string::npos ? 0 : blank);
    }
    while (!platform.empty() && platform.back() == ' ')
        platform.pop_back();
    std::size_t lead = 0;
    while (lead < platform.size() && platform[lead] == ' ')
        ++lead;
    platform.erase(0, lead);
    return platform.empty() ? agent : agent + " " + platform;
}
