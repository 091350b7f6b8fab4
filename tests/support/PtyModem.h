// A scripted modem on a pty for tests that drive the library through a real serial port: it decodes the
// frames the library writes, records every request and answers with whatever its script returns. It links
// nothing of the library.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FrameStream.h"

namespace velmo::testsupport {

// Returns the packets to send back for one request; none keeps the modem silent.
using Script = std::function<std::vector<Bytes>(const Bytes& request)>;

// The answers a modem gives to the start-up handshake (version request, event-report configuration); none
// for any other request.
std::vector<Bytes> HandshakeAnswers(const Bytes& request);

class PtyModem {
  public:
    explicit PtyModem(Script script = HandshakeAnswers);
    ~PtyModem();
    PtyModem(const PtyModem&) = delete;
    PtyModem& operator=(const PtyModem&) = delete;

    // Empty when no pty could be had.
    const std::string& SlavePath() const { return slave_; }

    // Replaces the script; it runs on the modem's thread, one request at a time.
    void SetScript(Script script);
    std::vector<Bytes> Requests();
    void ClearRequests();
    // Waits (real time) until at least n requests were recorded.
    bool WaitForRequests(size_t n, std::chrono::milliseconds limit = std::chrono::seconds(3));
    // Sends an unsolicited packet, framed.
    void Send(const Bytes& packet);

  private:
    void Serve();
    void Write(const Bytes& bytes);

    int master_ = -1;
    std::string slave_;
    std::atomic<bool> stop_{false};
    std::mutex scriptMutex_;
    Script script_;
    std::mutex writeMutex_;
    std::mutex requestsMutex_;
    std::vector<Bytes> requests_;
    std::thread thread_;
};

// A ports folder of our own for the test, named in VELMO_PORTS_DIR; removed again at the end.
class PortsFolder {
  public:
    PortsFolder();
    ~PortsFolder();
    PortsFolder(const PortsFolder&) = delete;
    PortsFolder& operator=(const PortsFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Publishes target as port number n; false when the link could not be made.
    bool Link(int n, const std::string& target) const;

  private:
    std::string path_;
};

}  // namespace velmo::testsupport
