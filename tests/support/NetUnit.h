// A stand-in for the Ethernet unit on loopback: a UDP responder for the discovery and a TCP server that
// speaks the framed protocol through a script, like PtyModem does on a pty. Every unit takes its own ports
// (ephemeral where it listens) and publishes them through the environment overrides.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "PtyModem.h"

namespace velmo::testsupport {

class NetUnit {
  public:
    struct Options {
        // Text sent back to each discovery request; nullopt keeps the unit silent.
        std::optional<std::string> discoveryReply = std::string("127.0.0.1");
        // false: nothing listens on the data port, so connecting is refused.
        bool listen = true;
        Script script = HandshakeAnswers;
    };

    NetUnit();
    explicit NetUnit(Options options);
    ~NetUnit();
    NetUnit(const NetUnit&) = delete;
    NetUnit& operator=(const NetUnit&) = delete;

    // Sets VELMO_DISCOVERY_ADDRESS (127.0.0.1) and the three port variables for this unit.
    void Publish() const;
    bool Ok() const { return ok_; }

    uint16_t DiscoveryPort() const { return discoveryPort_; }
    uint16_t ReplyPort() const { return replyPort_; }
    uint16_t DataPort() const { return dataPort_; }

    void SetDiscoveryReply(std::optional<std::string> reply);
    void SetScript(Script script);
    int DiscoveryRequests() const { return discoveryRequests_.load(); }
    // Datagrams that were not exactly the discovery request.
    int OtherDatagrams() const { return otherDatagrams_.load(); }
    int Connections() const { return connections_.load(); }
    bool Connected() const { return connected_.load(); }

    std::vector<Bytes> Requests();
    bool WaitForRequests(size_t n, std::chrono::milliseconds limit = std::chrono::seconds(3));
    // Sends an unsolicited packet on the current connection.
    void Send(const Bytes& packet);
    // Closes the current connection from the unit's side.
    void Hangup();

  private:
    void Serve();
    void Wake();
    // Closes the connection (fd, or whichever is open for -1).
    void DropConnection(int fd);
    // Sends on fd with writeMutex_ held.
    void SendLocked(int fd, const Bytes& bytes);

    Options options_;
    bool ok_ = false;
    int udp_ = -1;
    int listener_ = -1;
    int wake_ = -1;
    uint16_t discoveryPort_ = 0;
    uint16_t replyPort_ = 0;
    uint16_t dataPort_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hangup_{false};
    std::atomic<int> discoveryRequests_{0};
    std::atomic<int> otherDatagrams_{0};
    std::atomic<int> connections_{0};
    std::atomic<bool> connected_{false};
    std::mutex mutex_;  // options_.discoveryReply, options_.script, requests_, connection_
    std::vector<Bytes> requests_;
    int connection_ = -1;
    std::mutex writeMutex_;  // taken before mutex_ when both are needed
    std::thread thread_;
};

// A loopback port of the given type (SOCK_DGRAM or SOCK_STREAM) that was free a moment ago.
uint16_t FreeLoopbackPort(int type);

}  // namespace velmo::testsupport
