// The Ethernet link: UDP discovery of the unit, then the diagnostic frames over one TCP connection.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "Transport.h"
#include "platform/Clock.h"
#include "platform/NetworkConfig.h"

namespace velmo::transport {

inline constexpr char kDiscoveryRequest[] = "GETD2IP";
inline constexpr int kDiscoveryAttempts = 3;
inline constexpr uint32_t kDiscoveryWaitMs = 2000;
inline constexpr uint32_t kConnectTimeoutMs = 3000;
inline constexpr uint32_t kAbortPollMs = 50;
inline constexpr size_t kNetReadBlockSize = 1000;
inline constexpr size_t kDiscoveredAddressSize = 256;

// True when text (trailing whitespace already trimmed) is a unicast IPv4 address a unit may have.
bool IsAcceptableUnitAddress(const std::string& text);

// The address a discovery reply names: the datagram up to its first zero, without trailing blanks and line
// ends; nothing when that is no acceptable unit address. Any host on the network can answer.
std::optional<std::string> ReadDiscoveryReply(const char* datagram, size_t size);

class NetLink final : public ITransport {
  public:
    // running/stop are the reader flags the serial transport shares with this link.
    NetLink(IReceiver& receiver, std::atomic<int32_t>& running, std::atomic<int32_t>& stop,
            platform::IClock& clock = platform::RealClock());
    ~NetLink() override;
    NetLink(const NetLink&) = delete;
    NetLink& operator=(const NetLink&) = delete;

    // 1 when a connection exists already or abort is set; otherwise discovers, connects and starts the
    // reader.
    int OpenNetwork(const std::atomic<int32_t>& abort);
    // Stops the reader, joins it and closes the connection.
    void Close();

    int WriteFrameBytes(const uint8_t* bytes, size_t n) override;
    bool IsOpen() const override;

    // The unit's address after a successful discovery and connection; all zero otherwise.
    std::array<char, kDiscoveredAddressSize> DiscoveredAddress() const;

  private:
    int DiscoverAndConnect(const std::atomic<int32_t>& abort, const platform::NetworkConfig& config);
    int Connect(const std::string& address, uint16_t port, const std::atomic<int32_t>& abort);
    void NetReader();

    IReceiver& receiver_;
    std::atomic<int32_t>& running_;
    std::atomic<int32_t>& stop_;
    platform::IClock& clock_;
    mutable std::mutex socketMutex_;  // a write never overlaps the reader's teardown
    int socket_ = -1;
    int wakeFd_ = -1;
    std::thread reader_;
    mutable std::mutex addressMutex_;
    std::array<char, kDiscoveredAddressSize> discovered_{};
};

}  // namespace velmo::transport
