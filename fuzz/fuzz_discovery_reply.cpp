// Discovery replies of the Ethernet link: ReadDiscoveryReply on a datagram as the link receives it (at most
// kDiscoveredAddressSize - 1 bytes), and the address check on the raw input. Checked: an accepted address is a
// dotted quad of four numbers up to 255 that prints back as the same text, and is neither 0.0.0.0 nor
// 255.255.255.255 nor a multicast address; the check always agrees with such a reading of the text.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "library/transport/NetLink.h"

using velmo::transport::IsAcceptableUnitAddress;
using velmo::transport::kDiscoveredAddressSize;
using velmo::transport::ReadDiscoveryReply;

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// Four decimal numbers up to 255 joined by dots, without leading zeros: the one form the address takes.
std::optional<uint32_t> DottedQuad(std::string_view text) {
    uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') {
                return std::nullopt;
            }
            text.remove_prefix(1);
        }
        size_t digits = 0;
        uint32_t value = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && digits < 4) {
            value = value * 10 + static_cast<uint32_t>(text[digits] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[0] == '0')) {
            return std::nullopt;
        }
        text.remove_prefix(digits);
        address = address << 8 | value;
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    return address;
}

bool Unicast(uint32_t host) {
    return host != 0 && host != 0xFFFFFFFFu && (host >> 28) != 0xE;
}

void CheckAddress(const std::string& text) {
    const bool accepted = IsAcceptableUnitAddress(text);
    // The check reads the text as a C string; what follows a zero is not looked at.
    const std::string_view visible(text.c_str(), std::strlen(text.c_str()));
    const std::optional<uint32_t> quad = DottedQuad(visible);
    Check(accepted == (quad && Unicast(*quad)));
    if (accepted) {
        in_addr a{};
        char shown[INET_ADDRSTRLEN] = {};
        Check(inet_pton(AF_INET, text.c_str(), &a) == 1 && ntohl(a.s_addr) == *quad);
        Check(inet_ntop(AF_INET, &a, shown, sizeof shown) != nullptr && visible == shown);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The datagram as the link receives it: at most one byte less than its buffer.
    const size_t got = size < kDiscoveredAddressSize - 1 ? size : kDiscoveredAddressSize - 1;
    const std::optional<std::string> address = ReadDiscoveryReply(reinterpret_cast<const char*>(data), got);
    if (address) {
        // A name without a zero, blank or line end at its end, that the check takes.
        Check(address->find('\0') == std::string::npos && !address->empty());
        Check(std::strchr(" \t\r\n", address->back()) == nullptr);
        Check(IsAcceptableUnitAddress(*address));
        CheckAddress(*address);
    }

    CheckAddress(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
