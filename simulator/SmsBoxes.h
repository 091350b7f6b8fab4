// The modem's four short-message boxes: request-60 commands 54 (count), 51 (read), 50 (store) and 52
// (delete), and the control channel's "sms deliver", which puts a received message into the in-box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ModemSimulator.h"

namespace velmo::sim {

// The reply to a message command; nullopt when the request is not one.
std::optional<std::vector<uint8_t>> SmsAnswer(RequestContext& ctx);

// Files a received message in the in-box; out gets report 17 (MESSAGE) announcing it. False with a reason
// when the number or the box refuses it.
bool DeliverSms(DeviceState& s, const std::string& number, const std::string& utf8Text,
                std::vector<uint8_t>* report, std::string* error);

}  // namespace velmo::sim
