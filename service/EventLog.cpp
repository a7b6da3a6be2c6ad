#include "service/EventLog.h"

#include <vector>

#include "common/ServiceCalls.h"

namespace pwg {

void LogEvent(WORD type, DWORD message, std::initializer_list<std::string> inserts) {
    HANDLE log = serviceCalls.registerEventSource(nullptr, kEventSource);
    // Nowhere to tell that the log is out of reach.
    if (!log) return;
    std::vector<const char*> strings;
    for (const std::string& insert : inserts) strings.push_back(insert.c_str());
    serviceCalls.reportEvent(log, type, 0, message, nullptr, static_cast<WORD>(strings.size()), 0, strings.data(),
                             nullptr);
    serviceCalls.deregisterEventSource(log);
}

}  // namespace pwg
