#pragma once

#include <string>

#include "ostrel_core.h"

namespace ostrel::vell::test {

using RequestFunction = char* (*)(const char*);
using FreeFunction = void (*)(char*);

// Calls one request function as an application does: copy the answer, then hand it back.
inline std::string call(RequestFunction function, const char* request, FreeFunction release = ol_core_free_string) {
    char* answer = function(request);
    if (answer == nullptr) return "<null>";
    std::string text(answer);
    release(answer);
    return text;
}

inline std::string errorOf(const std::string& message) { return "{\"error\":\"" + message + "\"}"; }

// A sample with the keys the program sends, in its order.
inline std::string sample(const std::string& timestamp, const std::string& network, const std::string& app,
                          unsigned long long rx, unsigned long long tx) {
    return "{\"timestamp\":\"" + timestamp + "\",\"network_id\":\"" + network + "\",\"app_id\":\"" + app +
           "\",\"rx_bytes\":" + std::to_string(rx) + ",\"tx_bytes\":" + std::to_string(tx) + "}";
}

}  // namespace ostrel::vell::test
