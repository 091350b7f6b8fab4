// The modem's AT port in the stand-in: a second pty, published as a modem in the ports folder, that answers
// the dialling dialogue. AT, ATZ, ATE0/ATE1 and AT&F answer OK; ATD<number> answers CONNECT and enters data
// mode, or fails as the number (or a forced outcome) says; "+++" and a pause return to command mode with the
// call still up (ATO goes back), ATH hangs up; the line's user closing the tty counts as loss of carrier.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmo::sim {

enum class DialOutcome { Connect, NoCarrier, Busy, NoAnswer, NoDialtone, Error, Silence };

// The outcome a number asks for by its last three digits: 111 NO CARRIER, 222 BUSY, 333 NO ANSWER, 444
// silence, 555 NO DIALTONE, 666 ERROR; any other number connects.
DialOutcome OutcomeForNumber(std::string_view number);

class AtPort {
  public:
    AtPort() = default;
    ~AtPort();
    AtPort(const AtPort&) = delete;
    AtPort& operator=(const AtPort&) = delete;

    // Opens the pty and publishes it under deviceName (empty: the ports folder's default modem name).
    bool Start(const std::string& deviceName, std::string* error);
    void Stop();

    std::string SlavePath() const { return slave_; }
    int ModemNumber() const { return number_; }

    // Every ATD ends with outcome, whatever the number; nullopt returns to the number rules.
    void SetDialOutcome(std::optional<DialOutcome> outcome);
    bool InCall() const { return inCall_.load(); }
    // Command lines received, in order (as sent, without the CR).
    std::vector<std::string> Commands() const;
    // Calls that ended: ATH, or loss of carrier.
    int CallsEnded() const { return callsEnded_.load(); }

  private:
    void Run();
    void OnByte(char c);
    void OnCommand(const std::string& line);
    void Send(std::string_view text);
    void EndCall();

    int master_ = -1;
    int stop_ = -1;  // eventfd
    int number_ = 0;
    std::string slave_;
    std::thread thread_;
    std::atomic<bool> inCall_{false};
    std::atomic<int> callsEnded_{0};
    mutable std::mutex mutex_;
    std::optional<DialOutcome> forced_;
    std::vector<std::string> commands_;
    // Reader thread only.
    bool dataMode_ = false;  // in a call and not escaped to command mode
    bool echo_ = true;
    std::string line_;
    int pluses_ = 0;
    std::optional<std::chrono::steady_clock::time_point> escapeAt_;
};

}  // namespace velmo::sim
