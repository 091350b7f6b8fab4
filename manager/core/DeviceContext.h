// What the device worker, the window thread and the dial-state callback share: the machine's states, the
// flags the buttons and screens set, and the status the worker copies after each polling cycle. Every flag
// that two threads touch is atomic; the status copy sits behind its own lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Clock.h"
#include "velmo/IOrvikModem.h"

namespace velmo::manager {

enum DeviceState : int32_t {
    DM_STATE_UNKNOWN = 0,
    DM_STATE_UNINIT = 1,
    DM_STATE_TRY_OPEN = 2,
    DM_STATE_NOMODEM = 3,
    DM_STATE_IDLE = 4,
    DM_STATE_IDLE_0 = 5,
    DM_STATE_IDLE_0_1 = 6,
    DM_STATE_IDLE_0_2 = 7,
    DM_STATE_IDLE_1 = 8,
    DM_STATE_IDLE_11 = 18,
    DM_STATE_ETHER_CLOSE = 19,
    DM_STATE_ETHER_IDLE = 20,
    DM_STATE_ETHER_IDLE_0 = 21,
    DM_STATE_ETHER_IDLE_1 = 22,
    DM_STATE_ETHER_IDLE_2 = 23,
    DM_STATE_ETHER_IDLE_8 = 29,
    DM_STATE_USB_IDLE = 30,
    DM_STATE_USB_IDLE_1 = 31,
    DM_STATE_USB_IDLE_2 = 32,
    DM_STATE_USB_IDLE_3 = 33,
    DM_STATE_USB_IDLE_4 = 34,
    DM_STATE_USB_IDLE_5 = 35,
    DM_STATE_USB_IDLE_6 = 36,
    DM_STATE_USB_IDLE_7 = 37,
    DM_STATE_USB_IDLE_8 = 38,
    DM_STATE_USB_IDLE_9 = 39,
    DM_STATE_USB_IDLE_10 = 40,
    DM_STATE_USB_IDLE_11 = 41,
    DM_STATE_USB_IDLE_12 = 42,
    DM_STATE_USB_CLOSE = 43,
    DM_STATE_PRE_QUIT = 44,
    DM_STATE_QUIT = 45,
    DM_STATE_MAX_NUM = 46,
};

// The 47 state names, indexed by value ("DM_STATE_MAX_NUM" last).
const char* DeviceStateName(int32_t state);

enum ConnectionStateValue : int32_t {
    kConnNone = 0,
    kConnDeviceFound = 1,
    kConnNoNetwork = 2,
    kConnReady = 3,
    kConnConnected = 5,
    kConnDormant = 8,
};

// A call is up: connected, or connected and dormant.
inline bool CallUp(int32_t connectionState) {
    return connectionState == kConnConnected || connectionState == kConnDormant;
}

// The capability value when the device gives no extended user status.
inline constexpr int32_t kNoUserStatus = 0xFFFD;
inline bool LacksUserStatus(int32_t capability) {
    return capability == kNoUserStatus || capability == -1;
}

// Values of request 60 command 34 kept for display.
struct UserStatus {
    int32_t evdoMagnitude = 0;  // -w3
    int32_t w4Magnitude = 0;    // -w4
    int32_t oneXMagnitude = 0;  // w5
    int32_t w6 = 0;
    int32_t secondNetwork = 0;  // w7
    uint16_t battery = 0;       // w1: high byte power state, low byte percent
};

// Notice windows: C (w0 bit 2), A (w0 bit 0), B (voice mail, w0 bit 1).
enum NoticeWindowId : int { kNoticeC = 0, kNoticeA = 1, kNoticeB = 2 };

struct DeviceContext {
    // Set once by the first close command (through RequestClosing, so that a sleeping worker wakes); read by
    // every thread.
    std::atomic<bool> closing{false};
    // Notified when closing is set or a screen asks the worker to pause: the worker sleeps until its next tick
    // is due or one of those comes.
    platform::Wakeup workerWakeup;
    void RequestClosing() {
        closing.store(true);
        workerWakeup.Notify();
    }

    std::atomic<int32_t> state{DM_STATE_UNINIT};
    std::atomic<int32_t> lockFlag{0};
    std::atomic<int32_t> workerStepping{1};
    std::atomic<int32_t> connectionState{kConnNone};
    std::atomic<int32_t> connectRequested{0};
    std::atomic<int32_t> disconnectRequested{0};
    std::atomic<int32_t> dialError{0};
    std::atomic<int32_t> spcCheckNeeded{0};
    // Counted up by the worker each time it starts searching for the device: a screen that shows a modem's
    // values forgets them when it changes.
    std::atomic<uint32_t> deviceSearches{0};
    std::atomic<bool> presetCheckDone{false};
    std::atomic<int32_t> capability{-1};
    std::atomic<int32_t> dormant{0};
    std::atomic<int32_t> deviceStatusCode{1};
    // 1 when the card asks for the PIN at power-up.
    std::atomic<int32_t> pinRequest{0};
    std::atomic<int32_t> voiceMail{0};
    // Seconds since the epoch when the call connected; 0 before.
    std::atomic<int64_t> connectionStart{0};
    // The connection now or last up was dialled by this manager (set by the dial callback when it connects,
    // cleared when the worker finds traffic another program made).
    std::atomic<bool> ownCall{false};
    // Set by the window thread while it dials again by itself after a drop: a dial error then shows no box.
    std::atomic<bool> automaticDial{false};
    // Set by a trigger, cleared by the notice window when its sequence ends.
    std::array<std::atomic<bool>, 3> noticeShown{};
    // Set by a screen while it holds the worker paused (the settings window's Apply after a modem reset): the
    // worker's next step closes the device and searches anew. Cleared by the worker.
    std::atomic<bool> deviceResetRequested{false};
    // Set by the advanced configuration while a roaming list goes to the modem: closing waits for it, since
    // an interrupted download leaves the modem offline without a list.
    std::atomic<bool> prlDownloading{false};
    // Counted up by the card conversation each time it asks for a code (cardQuestionKind: 1 the PIN, 2 the
    // PUK, set before the count), and by the dial callback for each dial error (its text behind statusLock):
    // the desktop's notices compare the counts they saw last.
    std::atomic<int32_t> cardQuestionKind{0};
    std::atomic<uint32_t> cardQuestions{0};
    std::atomic<uint32_t> dialErrors{0};

    // Copied by the worker after each polling cycle; read by the window thread.
    mutable std::mutex statusLock;
    ModemStatusRecord statusCopy{};  // NetworkKind holds the cached parameter 27 (the mode)
    UserStatus user{};
    std::string directoryNumber;  // parameter 11, read once per device start-up
    std::string identity;         // the device text of an Ethernet unit
    // The host that answered the discovery, copied by the worker when the Ethernet link opened, so that the
    // window thread never takes the wrapper's call lock for it.
    std::string discoveredAddress;
    std::string lastDialError;  // the text of the newest dial error

    ModemStatusRecord StatusCopy() const {
        std::lock_guard<std::mutex> lk(statusLock);
        return statusCopy;
    }
    UserStatus User() const {
        std::lock_guard<std::mutex> lk(statusLock);
        return user;
    }
    std::string DirectoryNumber() const {
        std::lock_guard<std::mutex> lk(statusLock);
        return directoryNumber;
    }
    std::string Identity() const {
        std::lock_guard<std::mutex> lk(statusLock);
        return identity;
    }
    std::string DiscoveredAddress() const {
        std::lock_guard<std::mutex> lk(statusLock);
        return discoveredAddress;
    }
    void SetDiscoveredAddress(const std::string& address) {
        std::lock_guard<std::mutex> lk(statusLock);
        discoveredAddress = address;
    }
    std::string LastDialError() const {
        std::lock_guard<std::mutex> lk(statusLock);
        return lastDialError;
    }
    // Any thread: keeps the text, then counts the error.
    void RecordDialError(const std::string& text) {
        {
            std::lock_guard<std::mutex> lk(statusLock);
            lastDialError = text;
        }
        dialErrors.fetch_add(1);
    }
    // The card conversation is about to ask for the PIN (1) or the PUK (2).
    void RecordCardQuestion(int32_t kind) {
        cardQuestionKind.store(kind);
        cardQuestions.fetch_add(1);
    }
    void SetDeviceTexts(const std::string* number, const std::string* text) {
        std::lock_guard<std::mutex> lk(statusLock);
        if (number != nullptr) {
            directoryNumber = *number;
        }
        if (text != nullptr) {
            identity = *text;
        }
    }
};

// The pause protocol between a screen and the worker: on waits (100 ms steps, at most 22 of them) for a
// holder to let go, takes the lock and waits the same way until the worker has stopped stepping; the caller
// goes on in any case. off releases it at once. The result of on tells whether the worker had stopped.
bool StateLock(DeviceContext& context, platform::IClock& clock, bool on);

// The worker held for as long as this object lives. The holder goes on when the worker did not stop within
// the bound (it may still be inside a modem call, which the wrapper's lock then waits for).
class WorkerPause {
  public:
    WorkerPause(DeviceContext& context, platform::IClock& clock)
        : context_(context), stopped_(StateLock(context, clock, true)) {}
    ~WorkerPause() { context_.lockFlag.store(0); }
    WorkerPause(const WorkerPause&) = delete;
    WorkerPause& operator=(const WorkerPause&) = delete;

    bool WorkerStopped() const { return stopped_; }

  private:
    DeviceContext& context_;
    bool stopped_;
};

}  // namespace velmo::manager
