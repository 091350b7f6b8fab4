#include "DialupService.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "Connections.h"
#include "Devices.h"
#include "DialCommands.h"
#include "FileUtil.h"
#include "Phonebook.h"
#include "PppdLog.h"
#include "Process.h"
#include "platform/ThreadName.h"

namespace velmo::dialup {

namespace {

using namespace std::chrono_literals;

// After SIGKILL a process still needs a moment to be gone.
constexpr auto kKillGrace = 1000ms;
// How often a hang-up looks again at a record whose child changes (chat to pppd) or is between steps.
constexpr auto kHangUpRecheck = 50ms;
// Bound on one pppd log line we keep.
constexpr size_t kMaxLogLine = 1024;
constexpr speed_t kLineSpeed = B115200;
constexpr uint32_t kLineBps = 115200;

// The states a dial passes, in order; progress never goes backwards or skips one.
constexpr uint32_t kStateOrder[] = {kStateOpenPort,        kStatePortOpened,          kStateConnectDevice,
                                    kStateDeviceConnected, kStateAllDevicesConnected, kStateAuthenticate,
                                    kStateAuthNotify,      kStateAuthenticated,       kStateConnected};

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

std::string RealPath(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : std::string();
}

pid_t ThreadId() {
    return gettid();
}

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            Reset();
            fd_ = o.fd_;
            o.fd_ = -1;
        }
        return *this;
    }
    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

bool ReadCounters(const std::string& sysNetDir, const std::string& interface, Counters& counters) {
    counters.fill(0);
    if (interface.empty() || interface.find('/') != std::string::npos) {
        return false;
    }
    bool any = false;
    for (size_t i = 0; i < kCounterFiles.size(); ++i) {
        std::string text;
        if (ReadSmallFile(sysNetDir + "/" + interface + "/statistics/" + kCounterFiles[i], text, 64)) {
            counters[i] = std::strtoull(text.c_str(), nullptr, 10);
            any = true;
        }
    }
    return any;
}

}  // namespace

DialupOptions DialupOptions::FromEnvironment() {
    DialupOptions o;
    o.phonebookDir = Env("VELMO_PHONEBOOK_DIR");
    if (o.phonebookDir.empty()) {
        std::string config = Env("XDG_CONFIG_HOME");
        if (config.empty()) {
            std::string home = Env("HOME");
            if (home.empty()) {
                const passwd* pw = getpwuid(getuid());
                home = pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir
                                                              : "/tmp/velmo-" + std::to_string(getuid());
            }
            config = home + "/.config";
        }
        o.phonebookDir = config + "/velmo/phonebook";
    }
    o.runtimeDir = Env("VELMO_DIALUP_RUNTIME_DIR");
    if (o.runtimeDir.empty()) {
        const std::string run = Env("XDG_RUNTIME_DIR");
        o.runtimeDir =
            !run.empty() ? run + "/velmo/dialup" : "/tmp/velmo-" + std::to_string(getuid()) + "/dialup";
    }
    o.sysNetDir = Env("VELMO_SYSFS_NET_DIR");
    if (o.sysNetDir.empty()) {
        o.sysNetDir = "/sys/class/net";
    }
    o.pppRunDir = Env("VELMO_PPP_RUN_DIR");
    if (o.pppRunDir.empty()) {
        o.pppRunDir = "/run";
    }
    // Other programs in their place, for tests of what happens once a call is up (no kernel PPP here).
    if (const std::string chat = Env("VELMO_CHAT_PATH"); !chat.empty()) {
        o.chatPath = chat;
    }
    if (const std::string pppd = Env("VELMO_PPPD_PATH"); !pppd.empty()) {
        o.pppdPath = pppd;
    }
    return o;
}

namespace {

class LinuxDialupService final : public IDialupService {
  public:
    explicit LinuxDialupService(DialupOptions options)
        : options_(std::move(options)), store_(options_.runtimeDir, options_.procDir) {}

    ~LinuxDialupService() override {
        ConnectionId active = 0;
        {
            std::lock_guard lock(mutex_);
            active = sessionActive_.load() ? sessionId_ : 0;
        }
        // Nothing of a dial may outlive the service: stop it, then wait for its thread.
        if (active != 0) {
            HangUp(active, options_.hangUpWait);
        }
        std::lock_guard lock(mutex_);
        if (dialer_.joinable()) {
            if (dialer_.get_id() == std::this_thread::get_id()) {
                dialer_.detach();
            } else {
                dialer_.join();
            }
        }
    }

    int EnumDevices(std::vector<DialDevice>& out) override {
        out.clear();
        if (options_.useUdev) {
            out = ListUdevModems();
        }
        for (DialDevice& d : ListPublishedModems()) {
            out.push_back(std::move(d));
        }
        return kErrorOk;
    }

    int ValidateEntryName(const std::string& phonebook, const std::string& name) override {
        return Book(phonebook).Validate(name);
    }
    int GetEntry(const std::string& phonebook, const std::string& name, DialEntry& out) override {
        return Book(phonebook).Get(name, &out, nullptr);
    }
    int SetEntry(const std::string& phonebook, const DialEntry& entry) override {
        return Book(phonebook).SetEntry(entry);
    }
    int DeleteEntry(const std::string& phonebook, const std::string& name) override {
        return Book(phonebook).Delete(name);
    }
    int EnumEntries(const std::string& phonebook, std::vector<std::string>& names) override {
        return Book(phonebook).List(names);
    }
    int GetDialParams(const std::string& phonebook, const std::string& name, DialParams& out) override {
        return Book(phonebook).Get(name, nullptr, &out);
    }
    int SetDialParams(const std::string& phonebook, const DialParams& params, bool removePassword) override {
        return Book(phonebook).SetParams(params, removePassword);
    }

    int Dial(const std::string& phonebook, const DialParams& params, DialProgress progress,
             ConnectionId& id) override;
    int EnumConnections(std::vector<ConnectionInfo>& out) override;
    int GetConnectStatus(ConnectionId id, ConnectStatus& out) override;
    int HangUp(ConnectionId id, std::chrono::milliseconds wait) override;
    int GetStatistics(ConnectionId id, LinkStatistics& out) override;
    int ClearStatistics(ConnectionId id) override;

  private:
    struct Session;

    Phonebook Book(const std::string& phonebook) const {
        return Phonebook(phonebook.empty() ? options_.phonebookDir : phonebook);
    }
    void Run(Session& s);
    void AdoptForeignPppd(const std::vector<ConnectionRecord>& known);

    DialupOptions options_;
    ConnectionStore store_;
    std::mutex mutex_;
    std::thread dialer_;
    std::atomic<bool> sessionActive_{false};
    std::atomic<bool> sessionEnding_{false};  // the active dial has made its last notification
    ConnectionId sessionId_ = 0;
};

// One dial, run on the dialer thread from the first state to the end of pppd.
struct LinuxDialupService::Session {
    LinuxDialupService& service;
    ConnectionStore& store;
    const DialupOptions& options;
    ConnectionRecord record;
    std::string phonebook;
    DialParams params;
    DialProgress progress;
    size_t emitted = 0;     // states of kStateOrder reported so far
    bool silenced = false;  // the callback asked for no more
    Fd tty;

    HangUpMode HangUpRequested() const { return store.HangUpRequested(record.id); }

    void Report(uint32_t state, uint32_t error, uint32_t extended) {
        record.state = state;
        record.error = error;
        store.Update(record);
        // Once a hang-up is asked for, the caller hears nothing more but the final disconnection.
        if (silenced || !progress || HangUpRequested() != HangUpMode::None) {
            return;
        }
        if (!progress(record.id, state, error, extended)) {
            silenced = true;
        }
    }

    // Reports every state up to and including target that was not reported yet.
    void Advance(uint32_t target) {
        for (size_t i = emitted; i < std::size(kStateOrder); ++i) {
            Report(kStateOrder[i], 0, 0);
            emitted = i + 1;
            if (kStateOrder[i] == target) {
                break;
            }
        }
    }

    uint32_t CurrentState() const { return emitted == 0 ? kStateOpenPort : kStateOrder[emitted - 1]; }

    // The last notification of a dial. From here on a new dial need not be refused: what is left is closing.
    void Fail(int error, int extended) {
        service.sessionEnding_.store(true);
        Report(CurrentState(), static_cast<uint32_t>(error), static_cast<uint32_t>(extended));
    }
    void EndDisconnected(int error, int extended) {
        service.sessionEnding_.store(true);
        Report(kStateDisconnected, static_cast<uint32_t>(error), static_cast<uint32_t>(extended));
    }

    // The end after our own hang-up: a disconnection, told only to a caller who is waiting for it.
    void EndHungUp() {
        service.sessionEnding_.store(true);
        record.state = kStateDisconnected;
        record.error = 0;
        store.Update(record);
        if (!silenced && progress && HangUpRequested() == HangUpMode::Notify) {
            progress(record.id, kStateDisconnected, 0, 0);
        }
    }

    void SetChild(pid_t pid, const char* program) {
        record.pid = pid;
        record.pidStart = pid > 0 ? ProcessStartTime(options.procDir, pid).value_or(0) : 0;
        record.program = pid > 0 ? program : "";
        store.Update(record);
    }

    // Runs chat on the tty; its wait status.
    int RunChat(const std::vector<std::string>& argv, int& spawnError) {
        const pid_t pid = SpawnChild(argv, ChildFds{tty.Get(), tty.Get(), -1, -1}, spawnError);
        if (pid < 0) {
            return -1;
        }
        SetChild(pid, "chat");
        // A hang-up that came while we were starting it has seen no pid to stop: stop it here.
        if (HangUpRequested() != HangUpMode::None) {
            kill(pid, SIGTERM);
        }
        const int status = ReapChild(pid);
        SetChild(0, "");
        return status;
    }
};

int LinuxDialupService::Dial(const std::string& phonebook, const DialParams& params, DialProgress progress,
                             ConnectionId& id) {
    std::lock_guard lock(mutex_);
    if (sessionActive_.load() && !sessionEnding_.load()) {
        return kErrorDialInProgress;
    }
    if (dialer_.joinable()) {
        // Called from the last notification of the previous dial: its thread cannot wait for itself.
        if (dialer_.get_id() == std::this_thread::get_id()) {
            return kErrorDialInProgress;
        }
        dialer_.join();
    }
    ConnectionRecord record;
    record.entryName = params.entryName;
    record.ownerPid = getpid();
    record.ownerStart = ProcessStartTime(options_.procDir, record.ownerPid).value_or(0);
    record.createdMs = BootTimeMs();
    if (!store_.Create(record)) {
        return kErrorCannotWritePhonebook;
    }
    id = record.id;
    sessionId_ = record.id;
    sessionEnding_.store(false);
    sessionActive_.store(true);
    auto session = std::make_shared<Session>(
        Session{*this, store_, options_, record, phonebook, params, std::move(progress), 0, false, Fd()});
    dialer_ = std::thread([this, session] {
        platform::NameThisThread("velmo-dialer");
        Run(*session);
        session->tty.Reset();
        // Free for the next dial before the record goes: whoever waits for the record may dial at once.
        sessionActive_.store(false);
        store_.Remove(session->record.id);
    });
    return kErrorOk;
}

void LinuxDialupService::Run(Session& s) {
    s.record.ownerTid = ThreadId();
    s.store.Update(s.record);
    s.Advance(kStateOpenPort);

    DialEntry entry;
    if (const int result = Book(s.phonebook).Get(s.params.entryName, &entry, nullptr); result != kErrorOk) {
        s.Fail(result, 0);
        return;
    }
    std::string number;
    if (!NormalizePhoneNumber(s.params.phoneNumber.empty() ? entry.phoneNumber : s.params.phoneNumber,
                              number)) {
        s.Fail(kErrorWrongInfo, 0);
        return;
    }
    std::vector<DialDevice> devices;
    EnumDevices(devices);
    const auto device = std::find_if(devices.begin(), devices.end(), [&](const DialDevice& d) {
        return d.name == entry.deviceName && strcasecmp(d.type.c_str(), entry.deviceType.c_str()) == 0;
    });
    if (device == devices.end()) {
        s.Fail(kErrorPortNotAvailable, 0);
        return;
    }
    s.tty.Reset(open(device->tty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    // The same exclusive lock the serial transport takes: a port in use by another program is not ours.
    if (s.tty.Get() < 0 || flock(s.tty.Get(), LOCK_EX | LOCK_NB) != 0) {
        s.Fail(kErrorPortNotAvailable, errno);
        return;
    }
    termios tio{};
    if (tcgetattr(s.tty.Get(), &tio) == 0) {
        cfmakeraw(&tio);
        // Modem lines are ignored during the dialogue (the carrier comes with CONNECT); closing drops DTR so
        // that the modem hangs up.
        tio.c_cflag |= CLOCAL | CREAD | HUPCL;
        tio.c_cflag &= ~CRTSCTS;
        cfsetispeed(&tio, kLineSpeed);
        cfsetospeed(&tio, kLineSpeed);
        tcsetattr(s.tty.Get(), TCSANOW, &tio);
    }
    // chat and pppd expect blocking reads.
    fcntl(s.tty.Get(), F_SETFL, fcntl(s.tty.Get(), F_GETFL) & ~O_NONBLOCK);
    tcflush(s.tty.Get(), TCIOFLUSH);
    s.record.deviceName = device->name;
    s.record.tty = device->tty;
    s.record.bps = kLineBps;
    s.Advance(kStatePortOpened);

    struct Step {
        ChatStage stage;
        std::vector<std::string> argv;
        uint32_t after;
    };
    const Step steps[] = {
        {ChatStage::Init, BuildChatInitArgs(options_.chatPath, options_.initTimeoutSeconds),
         kStateConnectDevice},
        {ChatStage::Dial, BuildChatDialArgs(options_.chatPath, options_.dialTimeoutSeconds, number),
         kStateAllDevicesConnected},
    };
    for (const Step& step : steps) {
        if (s.HangUpRequested() != HangUpMode::None) {
            s.EndHungUp();
            return;
        }
        int spawnError = 0;
        const int status = s.RunChat(step.argv, spawnError);
        if (s.HangUpRequested() != HangUpMode::None) {
            s.EndHungUp();
            return;
        }
        if (status < 0) {
            s.Fail(spawnError == ENOENT ? kErrorFileNotFound : kErrorPortOrDevice, spawnError);
            return;
        }
        const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 2;
        if (const int error = ChatExitError(step.stage, exitStatus); error != kErrorOk) {
            s.Fail(error, exitStatus);
            return;
        }
        s.Advance(step.after);
    }

    // pppd: the tty as stdin, its log on a pipe, the secrets on descriptor 3.
    int logPipe[2];
    int secretPipe[2];
    if (pipe2(logPipe, O_CLOEXEC) != 0) {
        s.Fail(kErrorPortOrDevice, errno);
        return;
    }
    Fd logRead(logPipe[0]);
    Fd logWrite(logPipe[1]);
    if (pipe2(secretPipe, O_CLOEXEC) != 0) {
        s.Fail(kErrorPortOrDevice, errno);
        return;
    }
    Fd secretRead(secretPipe[0]);
    {
        Fd secretWrite(secretPipe[1]);
        const std::string secrets = BuildPppdSecrets(s.params);
        // A pipe holds far more than the few hundred bytes of secrets, so this never blocks.
        if (!secrets.empty() && write(secretWrite.Get(), secrets.data(), secrets.size()) !=
                                    static_cast<ssize_t>(secrets.size())) {
            s.Fail(kErrorPortOrDevice, errno);
            return;
        }
    }
    PppdContext ctx;
    ctx.root = getuid() == 0;
    struct stat st {};
    ctx.peersFileExists = stat((std::string(kPeersDir) + "/" + kPeersName).c_str(), &st) == 0;
    ctx.tag = "velmo-" + std::to_string(s.record.id);
    if (s.HangUpRequested() != HangUpMode::None) {
        s.EndHungUp();
        return;
    }
    int spawnError = 0;
    const pid_t pid =
        SpawnChild(BuildPppdArgs(options_.pppdPath, entry, ctx),
                   ChildFds{s.tty.Get(), logWrite.Get(), logWrite.Get(), secretRead.Get()}, spawnError);
    logWrite.Reset();
    secretRead.Reset();
    if (pid < 0) {
        const int error = spawnError == ENOENT                          ? kErrorFileNotFound
                          : spawnError == EACCES || spawnError == EPERM ? kErrorAccessDenied
                                                                        : kErrorPortOrDevice;
        s.Fail(error, spawnError);
        return;
    }
    Fd pidfd(OpenPidfd(pid));
    s.SetChild(pid, "pppd");
    if (s.HangUpRequested() != HangUpMode::None) {
        kill(pid, SIGTERM);
    }

    PppdEnd end;
    fcntl(logRead.Get(), F_SETFL, fcntl(logRead.Get(), F_GETFL) | O_NONBLOCK);
    std::string line;
    bool lineTooLong = false;
    auto handleLine = [&](const std::string& text) {
        const PppdLogLine event = ParsePppdLine(text);
        switch (event.event) {
            case PppdEvent::Interface:
                if (event.value.size() < 16 && event.value.find('/') == std::string::npos) {
                    s.record.interface = event.value;
                    s.store.Update(s.record);
                }
                break;
            case PppdEvent::LinkUp:
                s.Advance(kStateAuthenticate);
                break;
            case PppdEvent::AuthSucceeded:
                s.Advance(kStateAuthenticated);
                break;
            case PppdEvent::LocalAddress:
                if (!end.connected) {
                    end.connected = true;
                    s.record.connectedMs = BootTimeMs();
                    s.Advance(kStateConnected);
                }
                break;
            case PppdEvent::PrivilegeRefused:
                end.privilegeRefused = true;
                break;
            default:
                break;
        }
    };
    auto drain = [&]() {
        char buf[512];
        for (;;) {
            const ssize_t n = read(logRead.Get(), buf, sizeof buf);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return n == 0;  // true at end of file
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\n') {
                    handleLine(line);
                    line.clear();
                    lineTooLong = false;
                } else if (line.size() < kMaxLogLine) {
                    line += buf[i];
                } else {
                    lineTooLong = true;
                }
            }
        }
    };
    bool logOpen = true;
    for (;;) {
        pollfd fds[2] = {{pidfd.Get(), POLLIN, 0}, {logOpen ? logRead.Get() : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        if (logOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && drain()) {
            logOpen = false;
        }
        if ((fds[0].revents & POLLIN) != 0 || pidfd.Get() < 0) {
            break;
        }
    }
    // What pppd wrote just before it ended; scripts it started may keep the pipe open, so do not wait for
    // EOF.
    drain();
    if (!line.empty()) {
        handleLine(line);
    }
    const int status = ReapChild(pid);
    s.SetChild(0, "");
    end.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    end.hangUpRequested = s.HangUpRequested() != HangUpMode::None;
    if (end.hangUpRequested) {
        s.EndHungUp();
        return;
    }
    const int error = PppdExitError(end);
    if (end.connected || error == kErrorOk) {
        s.EndDisconnected(error, end.exitStatus);
    } else {
        s.Fail(error, end.exitStatus);
    }
}

void LinuxDialupService::AdoptForeignPppd(const std::vector<ConnectionRecord>& known) {
    std::vector<DialDevice> devices;
    EnumDevices(devices);
    std::vector<std::pair<std::string, const DialDevice*>> ttys;
    for (const DialDevice& d : devices) {
        if (std::string real = RealPath(d.tty); !real.empty()) {
            ttys.emplace_back(std::move(real), &d);
        }
    }
    if (ttys.empty()) {
        return;
    }
    DIR* proc = opendir(options_.procDir.c_str());
    if (proc == nullptr) {
        return;
    }
    std::vector<pid_t> pids;
    while (const dirent* de = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(de->d_name, &end, 10);
        if (pid > 0 && end != nullptr && *end == '\0') {
            pids.push_back(static_cast<pid_t>(pid));
        }
    }
    closedir(proc);
    for (pid_t pid : pids) {
        if (ProcessName(options_.procDir, pid) != "pppd" ||
            std::any_of(known.begin(), known.end(),
                        [pid](const ConnectionRecord& r) { return r.pid == pid; })) {
            continue;
        }
        // Only a pppd whose line is one of the modem's ttys is ours; a VPN's or DSL's pppd never is.
        const std::string line = RealPath(options_.procDir + "/" + std::to_string(pid) + "/fd/0");
        const auto tty =
            std::find_if(ttys.begin(), ttys.end(), [&](const auto& t) { return t.first == line; });
        if (line.empty() || tty == ttys.end()) {
            continue;
        }
        ConnectionRecord r;
        r.deviceName = tty->second->name;
        r.tty = tty->second->tty;
        r.pid = pid;
        r.pidStart = ProcessStartTime(options_.procDir, pid).value_or(0);
        r.program = "pppd";
        r.createdMs = BootTimeMs();
        r.bps = kLineBps;
        r.state = kStateAllDevicesConnected;
        // pppd names its pid file after the interface.
        if (DIR* run = opendir(options_.pppRunDir.c_str()); run != nullptr) {
            while (const dirent* de = readdir(run)) {
                const std::string name = de->d_name;
                std::string text;
                if (name.rfind("ppp", 0) == 0 && name.size() > 7 &&
                    name.compare(name.size() - 4, 4, ".pid") == 0 &&
                    ReadSmallFile(options_.pppRunDir + "/" + name, text, 256) &&
                    std::strtol(text.c_str(), nullptr, 10) == pid) {
                    r.interface = name.substr(0, name.size() - 4);
                }
            }
            closedir(run);
        }
        struct stat st {};
        if (!r.interface.empty() && stat((options_.sysNetDir + "/" + r.interface).c_str(), &st) == 0) {
            r.state = kStateConnected;
            r.connectedMs = r.createdMs;
        }
        if (r.pidStart != 0) {
            store_.Create(r);
        }
    }
}

int LinuxDialupService::EnumConnections(std::vector<ConnectionInfo>& out) {
    out.clear();
    AdoptForeignPppd(store_.List());
    for (const ConnectionRecord& r : store_.List()) {
        out.push_back(ConnectionInfo{r.id, r.entryName, r.deviceName});
    }
    return kErrorOk;
}

int LinuxDialupService::GetConnectStatus(ConnectionId id, ConnectStatus& out) {
    // The hang-up request first: the dialler removes the record before the request, so a request gone by now
    // means the record is gone too, and a record read after it cannot outlive it unseen.
    const HangUpMode hangUp = store_.HangUpRequested(id);
    ConnectionRecord r;
    if (!store_.Read(id, r)) {
        return kErrorInvalidHandle;
    }
    if (!store_.Live(r)) {
        store_.Remove(id);
        return kErrorInvalidHandle;
    }
    // Hung up and its process gone: only the bookkeeping is left.
    if (hangUp != HangUpMode::None && !store_.ChildAlive(r)) {
        return kErrorInvalidHandle;
    }
    out.state = r.state;
    out.error = r.error;
    out.deviceType = kDeviceTypeModem;
    out.deviceName = r.deviceName;
    return kErrorOk;
}

int LinuxDialupService::HangUp(ConnectionId id, std::chrono::milliseconds wait) {
    ConnectionRecord r;
    if (!store_.Read(id, r)) {
        return kErrorInvalidHandle;
    }
    // Called from the progress callback on the dialer thread: that thread cannot finish the record before we
    // return, so stopping the process is all we wait for.
    const bool fromDialer = r.ownerPid == getpid() && r.ownerTid == ThreadId();
    if (!store_.RequestHangUp(id, fromDialer ? HangUpMode::Quiet : HangUpMode::Notify)) {
        return kErrorInvalidHandle;
    }
    auto deadline = std::chrono::steady_clock::now() + wait;
    bool killed = false;
    Fd pidfd;
    pid_t signalled = 0;
    for (;;) {
        if (!store_.Read(id, r)) {
            store_.Remove(id);  // the dialler finished it, perhaps before our request landed
            return kErrorOk;
        }
        const bool childAlive = store_.ChildAlive(r);
        if (childAlive && r.pid != signalled) {
            pidfd.Reset(OpenPidfd(r.pid));
            // Checked again after opening: the pidfd now pins the process we verified.
            if (pidfd.Get() >= 0 && store_.ChildAlive(r)) {
                SignalPidfd(pidfd.Get(), killed ? SIGKILL : SIGTERM);
                signalled = r.pid;
            }
        }
        if (!childAlive) {
            if (fromDialer) {
                return kErrorOk;
            }
            if (!store_.OwnerAlive(r)) {
                store_.Remove(id);
                return kErrorOk;
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            if (killed) {
                return kErrorStillDisconnecting;
            }
            killed = true;
            deadline = now + kKillGrace;
            if (childAlive && pidfd.Get() >= 0) {
                SignalPidfd(pidfd.Get(), SIGKILL);
            }
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        if (childAlive && pidfd.Get() >= 0) {
            WaitPidfd(pidfd.Get(), std::min<std::chrono::milliseconds>(left, kHangUpRecheck));
        } else {
            std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(left, kHangUpRecheck));
        }
    }
}

int LinuxDialupService::GetStatistics(ConnectionId id, LinkStatistics& out) {
    out = LinkStatistics{};
    ConnectionRecord r;
    if (!store_.Read(id, r) || !store_.Live(r)) {
        return kErrorInvalidHandle;
    }
    out.bps = r.bps;
    if (r.connectedMs == 0) {
        return kErrorOk;  // not connected yet: nothing counted
    }
    out.connectDurationMs = BootTimeMs() - r.connectedMs;
    Counters now;
    Counters base;
    ReadCounters(options_.sysNetDir, r.interface, now);
    store_.ReadBaseline(id, base);
    uint64_t* fields[] = {
        &out.bytesSent,     &out.bytesReceived,      &out.framesSent,      &out.framesReceived,
        &out.crcErrors,     &out.timeoutErrors,      &out.alignmentErrors, &out.hardwareOverrunErrors,
        &out.framingErrors, &out.bufferOverrunErrors};
    static_assert(std::size(fields) == kCounterFiles.size());
    for (size_t i = 0; i < kCounterFiles.size(); ++i) {
        *fields[i] = now[i] - base[i];  // unsigned: wraps like the counters themselves
    }
    return kErrorOk;
}

int LinuxDialupService::ClearStatistics(ConnectionId id) {
    ConnectionRecord r;
    if (!store_.Read(id, r) || !store_.Live(r)) {
        return kErrorInvalidHandle;
    }
    Counters now;
    ReadCounters(options_.sysNetDir, r.interface, now);
    return store_.WriteBaseline(id, now) ? kErrorOk : kErrorCannotWritePhonebook;
}

}  // namespace

std::unique_ptr<IDialupService> CreateDialupService(DialupOptions options) {
    return std::make_unique<LinuxDialupService>(std::move(options));
}

}  // namespace velmo::dialup
