// How the stand-in shows a request it received: its log lines (--log-requests, "log on") and the control
// channel's "requests" answer both go through MaskedRequest, so that a code, a key, a password or a short
// message never appears in clear wherever the log ends up. Which requests carry personal data is one table,
// in RequestLog.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmo::sim {

// The request in hex ("41 ** ** ** ** ** **"), each personal byte shown as "**".
std::string MaskedRequest(std::span<const uint8_t> packet);

}  // namespace velmo::sim
