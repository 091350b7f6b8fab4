// Dial-up devices: the modem's AT ports found through udev (its USB ids, any interface but the diagnostic
// one), then the modems published in the ports folder.
#pragma once

#include <string>
#include <vector>

#include "DialupService.h"

namespace velmo::dialup {

inline constexpr const char* kModemVendorId = "1726";
inline constexpr const char* kModemProductIds[] = {"3197", "1000", "2000", "3000"};
// Interface names of the diagnostic port begin so ("Brivanta Diagnostics Interface 3197", "Brivanta
// Diagnostic Port"); that port speaks the library's protocol, not AT commands.
inline constexpr const char* kDiagnosticInterfacePrefix = "Brivanta Diagnostic";

// The modem's AT ports known to udev, in udev's order.
std::vector<DialDevice> ListUdevModems();
// The modems published in the ports folder.
std::vector<DialDevice> ListPublishedModems();

}  // namespace velmo::dialup
