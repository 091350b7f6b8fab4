// The stand-in as an Ethernet unit: a modem behind a serial-to-TCP bridge. It answers the discovery on UDP,
// relays one TCP connection at a time to the stand-in's diagnostic pty (so every answer comes from the one
// stand-in), and serves its own configuration pages over HTTP.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ModemSimulator.h"
#include "WebPages.h"

namespace velmo::sim {

enum class EthernetFault {
    None,
    TcpRefused,   // discovery is answered, the data port refuses connections
    NoDiscovery,  // discovery requests go unanswered
};

std::string_view EthernetFaultName(EthernetFault fault);
std::optional<EthernetFault> ParseEthernetFault(std::string_view name);

inline constexpr uint16_t kDefaultHttpPort = 8080;

class EthernetUnit {
  public:
    struct Options {
        // Every socket binds here. On a loopback address the unit can only hear, and so only answer, this
        // host.
        std::string address = "127.0.0.1";
        // What the discovery is answered with; empty: address.
        std::string answer;
        // Unset: from the network configuration (defaults or the environment); 0: any free port.
        std::optional<uint16_t> discoveryPort;
        std::optional<uint16_t> replyPort;
        std::optional<uint16_t> dataPort;
        // Unset: no web server; 0: any free port.
        std::optional<uint16_t> httpPort = kDefaultHttpPort;
        EthernetFault fault = EthernetFault::None;
    };

    struct Counters {
        uint64_t discoveryRequests = 0;  // "GETD2IP" datagrams received
        uint64_t discoveryAnswers = 0;
        uint64_t sessions = 0;      // TCP connections relayed to the modem
        uint64_t refused = 0;       // TCP connections closed at once (busy)
        uint64_t httpRequests = 0;  // requests answered, errors included
    };

    EthernetUnit(ModemSimulator& sim, Options options);
    ~EthernetUnit();
    EthernetUnit(const EthernetUnit&) = delete;
    EthernetUnit& operator=(const EthernetUnit&) = delete;

    // Binds the sockets and starts serving.
    bool Start(std::string* error);
    // Ends a session in progress and closes every socket. Idempotent.
    void Stop();

    const std::string& Address() const { return options_.address; }
    uint16_t DiscoveryPort() const { return discoveryPort_; }
    uint16_t ReplyPort() const { return replyPort_; }
    uint16_t DataPort() const { return dataPort_; }
    uint16_t HttpPort() const { return httpPort_; }  // 0 without a web server

    // Takes effect before it returns: with TcpRefused the data port is closed, so connections are refused by
    // the system; a session in progress goes on.
    void SetFault(EthernetFault fault);
    EthernetFault Fault() const { return fault_.load(); }
    // At most 255 bytes are sent.
    void SetAnswer(std::string_view text);
    // Closes the TCP connection in progress, as a unit losing its link would.
    void DropConnection();
    bool SessionActive() const { return sessionActive_.load(); }
    Counters Stats() const;
    // "key = value" lines for the control channel.
    std::vector<std::string> StatusLines() const;

    // Control channel words: "ethernet status | fault MODE | clear | drop | answer TEXT". Answers as the
    // control channel does ("ok ...", "error ...", multi-line answers end with "end"); nullopt for any other
    // line.
    std::optional<std::string> Control(std::string_view line);

  private:
    struct Session {
        int tcp = -1;
        int pty = -1;
        std::vector<uint8_t> toPty;
        size_t toPtyDone = 0;
        std::vector<uint8_t> toTcp;
        size_t toTcpDone = 0;
    };
    struct HttpClient {
        int fd = -1;
        std::string in;
        std::string out;
        size_t sent = 0;
        bool responded = false;
        bool draining = false;
        std::chrono::steady_clock::time_point deadline;
    };

    // Runs fn on the loop thread and waits for it (directly when the loop is not running).
    void RunOnLoop(std::function<void()> fn);
    void RunTasks();
    void Loop();
    void Wake();

    bool OpenListener(std::string* error);
    void ApplyFault(EthernetFault fault);
    void OnDiscovery();
    void OnConnection();
    bool StartSession(int tcp, std::string* why);
    void RelaySession(short tcpEvents, short ptyEvents);
    void EndSession();
    template <class Put>
    static bool FlushRelay(const std::vector<uint8_t>& buffer, size_t& done, Put put);
    void OnHttpConnection();
    void ServeHttp(HttpClient& client, short events);
    void Respond(HttpClient& client, const HttpResponse& response, bool headOnly);
    UnitView View() const;

    ModemSimulator& sim_;
    Options options_;
    in_addr bindAddress_{};
    uint16_t discoveryPort_ = 0;
    uint16_t replyPort_ = 0;
    uint16_t dataPort_ = 0;
    uint16_t httpPort_ = 0;

    // Loop thread only (or the caller's while the loop is not running).
    int udp_ = -1;
    int listen_ = -1;
    int http_ = -1;
    int wake_ = -1;
    Session session_;
    std::vector<HttpClient> clients_;

    std::thread loop_;
    std::atomic<bool> stop_{false};
    std::atomic<EthernetFault> fault_{EthernetFault::None};
    std::atomic<bool> sessionActive_{false};
    std::atomic<uint64_t> discoveryRequests_{0};
    std::atomic<uint64_t> discoveryAnswers_{0};
    std::atomic<uint64_t> sessions_{0};
    std::atomic<uint64_t> refused_{0};
    std::atomic<uint64_t> httpRequests_{0};

    std::mutex taskMutex_;
    std::condition_variable taskDone_;
    std::vector<std::function<void()>> tasks_;
    uint64_t tasksPosted_ = 0;
    uint64_t tasksRun_ = 0;
    bool loopRunning_ = false;

    mutable std::mutex infoMutex_;  // the fields below
    std::string answer_;
    std::string peer_;
    std::string lastRefusal_;
    UnitSettings settings_;
};

}  // namespace velmo::sim
