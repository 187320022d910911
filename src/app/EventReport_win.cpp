#include "app/EventReport.h"

#include "common/Trace.h"

#include <windows.h>

void reportEvent(EventKind kind, unsigned id, const std::string& text)
{
    std::wstring wide;
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n > 1) {
        wide.resize(static_cast<std::size_t>(n));
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
        wide.resize(static_cast<std::size_t>(n - 1));
    }
    const WORD type = kind == EventKind::Error     ? EVENTLOG_ERROR_TYPE
                      : kind == EventKind::Warning ? EVENTLOG_WARNING_TYPE
                                                   : EVENTLOG_INFORMATION_TYPE;
    HANDLE source = RegisterEventSourceW(nullptr, L"Veldrun");
    if (!source) {
        traceLog("[Veldrun] Event log cannot be opened (error %lu)\n", GetLastError());
        return;
    }
    LPCWSTR strings[1] = {wide.c_str()};
    if (!ReportEventW(source, type, 0, id, nullptr, 1, 0, strings, nullptr))
        traceLog("[Veldrun] Event %u cannot be written (error %lu)\n", id, GetLastError());
    DeregisterEventSource(source);
}
