#include "ModemSimulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Answers.h"
#include "RequestLog.h"
#include "Scenario.h"
#include "library/protocol/CommandTable.h"
#include "platform/Ports.h"

namespace velmo::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr struct {
    FaultMode mode;
    std::string_view name;
} kFaultNames[] = {
    {FaultMode::None, "none"},
    {FaultMode::NoReply, "no-reply"},
    {FaultMode::ReplyOnlyToRetry, "reply-only-to-retry"},
    {FaultMode::ErrorStatus, "error-status"},
    {FaultMode::BadFcs, "bad-fcs"},
    {FaultMode::Flood, "flood"},
    {FaultMode::Slow, "slow"},
    {FaultMode::Vanish, "vanish"},
};

// Flood frames are generated while less than this is waiting to be written, so replies never queue behind
// much.
constexpr size_t kFloodLowWater = 2048;
constexpr size_t kMaxRawFrame = 2 * transport::kRxFrameSize + 8;
constexpr size_t kMaxLoggedRequests = 4096;
constexpr auto kIdleLogCheck = std::chrono::milliseconds(200);  // while no stream runs

bool ParseNumber(std::string_view text, uint64_t max, uint64_t* out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v > max) {
        return false;
    }
    *out = v;
    return true;
}

}  // namespace

std::string_view FaultModeName(FaultMode mode) {
    for (const auto& f : kFaultNames) {
        if (f.mode == mode) {
            return f.name;
        }
    }
    return "?";
}

std::optional<FaultMode> ParseFaultMode(std::string_view name) {
    for (const auto& f : kFaultNames) {
        if (f.name == name) {
            return f.mode;
        }
    }
    return std::nullopt;
}

std::optional<Fault> ParseFault(std::string_view text) {
    Fault fault;
    std::optional<std::string_view> arg;
    if (const size_t eq = text.find('='); eq != std::string_view::npos) {
        arg = text.substr(eq + 1);
        text = text.substr(0, eq);
    }
    std::optional<std::string_view> code;
    if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
        code = text.substr(colon + 1);
        text = text.substr(0, colon);
    }
    const auto mode = ParseFaultMode(text);
    if (!mode) {
        return std::nullopt;
    }
    fault.mode = *mode;
    uint64_t v = 0;
    if (code && *code != "any") {
        if (!ParseNumber(*code, 0xFF, &v)) {
            return std::nullopt;
        }
        fault.code = static_cast<int>(v);
    }
    if (arg) {
        if (!ParseNumber(*arg, 600000, &v)) {
            return std::nullopt;
        }
        fault.arg = static_cast<uint32_t>(v);
    } else if (fault.mode == FaultMode::Slow) {
        fault.arg = kDefaultSlowMs;
    }
    return fault;
}

std::string FormatFault(const Fault& fault) {
    std::string text(FaultModeName(fault.mode));
    if (fault.code >= 0) {
        char code[16];
        std::snprintf(code, sizeof code, ":0x%02X", static_cast<unsigned>(fault.code & 0xFF));
        text += code;
    }
    if (fault.mode == FaultMode::Slow) {
        text.append("=").append(std::to_string(fault.arg));
    }
    return text;
}

std::string HexString(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (uint8_t b : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::vector<uint8_t> ErrorReply(std::span<const uint8_t> request) {
    std::vector<uint8_t> p;
    p.reserve(request.size() + 1);
    p.push_back(protocol::ErrorBadCommand);
    p.insert(p.end(), request.begin(), request.end());
    return p;
}

ModemSimulator::ModemSimulator(Options options) : options_(std::move(options)) {
    logRequests_ = options_.logRequests;
    InstallDefaultHandlers();
}

ModemSimulator::~ModemSimulator() {
    Stop();
}

void ModemSimulator::InstallDefaultHandlers() {
    using namespace protocol;
    auto fromState = [](std::vector<uint8_t> (*reply)(const DeviceState&)) {
        return [reply](RequestContext& c) { return reply(c.state); };
    };
    for (const CommandRow& row : kCommandTable) {
        RequestHandler& h = handlers_[row.code];
        switch (row.code) {
            case VersionRequest:
                h = fromState(VersionReply);
                break;
            case StatusRequest:
                h = fromState(StatusReply);
                break;
            case LogRequest:
                h = fromState(LogRequestReply);
                break;
            case TimeRequest:
                h = fromState(TimeReply);
                break;
            case ReportLevelRequest:
                h = [](RequestContext& c) { return ReportLevelReply(c.packet); };
                break;
            case Block32Request:
                h = Block32Reply;
                break;
            case Block34Request:
                h = fromState(Block34Reply);
                break;
            case NvReadRequest:
                h = NvReadReply;
                break;
            case NvWriteRequest:
                h = NvWriteReply;
                break;
            case EventReportRequest:
                h = [](RequestContext& c) { return EventReportReply(c.packet); };
                break;
            case ModeRequest:
                h = ModeReply;
                break;
            case Request60:
                h = Request60Answer;
                break;
            case SpcRequest:
                h = SpcReply;
                break;
            case PrlBlockRequest:
                h = PrlBlockReply;
                break;
            case PrlReadRequest:
                h = PrlReadReply;
                break;
            case SubsystemRequest:
                h = SubsystemReply;
                break;
            case ExtVersionRequest:
                h = fromState(ExtVersionReply);
                break;
            default:
                break;  // answered with the error frame
        }
    }
}

bool ModemSimulator::Start(std::string* error) {
    std::lock_guard life(lifecycleMutex_);
    if (io_.joinable() || master_ >= 0) {
        *error = "already running";
        return false;
    }
    if (options_.statePath.empty()) {
        options_.statePath = DefaultStatePath();
    }
    {
        std::lock_guard lk(mutex_);
        if (options_.scenario.empty()) {
            if (!LoadStateFile(options_.statePath, state_, error)) {
                return false;
            }
        } else {
            Scenario scenario;
            if (!LoadScenario(options_.scenario, &scenario, error)) {
                return false;
            }
            // Restarting with the same scenario goes on with the device as it was left.
            DeviceState kept;
            std::string ignored;
            if (ReadStateFile(options_.statePath, kept, &ignored) && kept.scenario == scenario.name) {
                state_ = std::move(kept);
            } else if (!ApplyScenario(scenario, &state_, error) ||
                       !SaveStateFile(options_.statePath, state_, error)) {
                return false;
            }
        }
    }
    if (!platform::EnsurePortsDirectory()) {
        *error = "cannot create the ports folder " + platform::PortsDirectory() + ": " + std::strerror(errno);
        return false;
    }
    if (wake_ < 0) {
        wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake_ < 0) {
            *error = std::string("eventfd: ") + std::strerror(errno);
            return false;
        }
    }
    if (!OpenDevice(error)) {
        return false;
    }
    if (!PublishLink(error)) {
        CloseDevice();
        return false;
    }
    stop_.store(false);
    vanished_.store(false);
    vanishRequested_.store(false);
    io_ = std::thread([this] { IoLoop(); });
    return true;
}

void ModemSimulator::Stop() {
    std::lock_guard life(lifecycleMutex_);
    stop_.store(true);
    JoinIo();
    CloseDevice();
    if (wake_ >= 0) {
        close(wake_);
        wake_ = -1;
    }
    if (portLock_ >= 0) {
        close(portLock_);
        portLock_ = -1;
    }
}

void ModemSimulator::Vanish() {
    std::lock_guard life(lifecycleMutex_);
    if (!io_.joinable()) {
        return;
    }
    vanishRequested_.store(true);
    JoinIo();
}

bool ModemSimulator::Reappear(std::string* error) {
    std::lock_guard life(lifecycleMutex_);
    if (!vanished_.load()) {
        *error = "the device has not vanished";
        return false;
    }
    JoinIo();
    if (!OpenDevice(error)) {
        return false;
    }
    if (!PublishLink(error)) {
        CloseDevice();
        return false;
    }
    vanished_.store(false);
    vanishRequested_.store(false);
    io_ = std::thread([this] { IoLoop(); });
    return true;
}

void ModemSimulator::JoinIo() {
    if (io_.joinable()) {
        Wake();
        io_.join();
    }
}

void ModemSimulator::Wake() {
    if (wake_ >= 0) {
        const uint64_t one = 1;
        (void)write(wake_, &one, sizeof one);
    }
}

bool ModemSimulator::OpenDevice(std::string* error) {
    auto fail = [&](const char* what) {
        *error = std::string(what) + ": " + std::strerror(errno);
        CloseDevice();
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        return fail("posix_openpt");
    }
    if (fcntl(master_, F_SETFD, FD_CLOEXEC) != 0 || fcntl(master_, F_SETFL, O_NONBLOCK) != 0) {
        return fail("fcntl");
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        return fail("grantpt/unlockpt");
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        return fail("ptsname");
    }
    slave_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        return fail("open pty slave");
    }
    termios tio{};
    if (tcgetattr(slave_, &tio) != 0) {
        return fail("tcgetattr");
    }
    cfmakeraw(&tio);
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) {
        return fail("tcsetattr");
    }
    // Packet mode reports the library's tcflush on open and close: that is how a new session is recognised.
    int on = 1;
    if (ioctl(master_, TIOCPKT, &on) != 0) {
        return fail("TIOCPKT");
    }
    {
        std::lock_guard lk(mutex_);
        ptyPath_ = name;
    }
    OnLinkReset();
    out_.clear();
    pending_.clear();
    return true;
}

namespace {

// Held (flock) by the stand-in that owns port n for as long as it lives, so that a link whose owner died is
// known as such even when its pty number has been given to another program since.
int TakePortLock(int n) {
    const std::string path = platform::PortsDirectory() + "/.com" + std::to_string(n) + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool ReplaceLink(const std::string& target, const std::string& link) {
    const std::string temp = link + ".new." + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), link.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool ModemSimulator::PublishLink(std::string* error) {
    const std::string pty = PtyPath();
    if (port_ > 0 || options_.port > 0) {
        if (port_ == 0) {
            if (options_.port > platform::kLastPort) {
                *error = "port number out of range: " + std::to_string(options_.port);
                return false;
            }
            port_ = options_.port;
        }
        if (portLock_ < 0) {
            portLock_ = TakePortLock(port_);  // a number given explicitly is taken in any case
        }
        // Replace whatever is there in one step.
        const std::string link = platform::PortLinkPath(port_);
        if (!ReplaceLink(pty, link)) {
            *error = "cannot create " + link + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    for (int n = platform::kFirstPort; n <= platform::kLastPort; ++n) {
        const int lock = TakePortLock(n);
        if (lock < 0) {
            continue;  // a live stand-in has it
        }
        const std::string link = platform::PortLinkPath(n);
        bool ours = symlink(pty.c_str(), link.c_str()) == 0;
        if (!ours) {
            // Nobody holds the number: a link to a pty was left by a stand-in that died. A link to anything
            // else that exists is somebody's real device.
            char target[256];
            const ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
            struct stat st {};
            const bool stale =
                len > 0 && (std::string_view(target, static_cast<size_t>(len)).starts_with("/dev/pts/") ||
                            (stat(link.c_str(), &st) != 0 && errno == ENOENT));
            ours = stale && ReplaceLink(pty, link);
        }
        if (ours) {
            port_ = n;
            portLock_ = lock;
            return true;
        }
        close(lock);
    }
    *error = "no free port number in " + platform::PortsDirectory();
    return false;
}

void ModemSimulator::CloseDevice() {
    std::string pty;
    {
        std::lock_guard lk(mutex_);
        pty = ptyPath_;
    }
    if (port_ > 0 && !pty.empty()) {
        // Only our own link: another stand-in may have taken the number since.
        const std::string link = platform::PortLinkPath(port_);
        char target[256];
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string_view(target, static_cast<size_t>(n)) == pty) {
            unlink(link.c_str());
        }
    }
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
    if (slave_ >= 0) {
        close(slave_);
        slave_ = -1;
    }
}

std::string ModemSimulator::PtyPath() const {
    std::lock_guard lk(mutex_);
    return ptyPath_;
}

std::string ModemSimulator::LinkPath() const {
    return port_ > 0 ? platform::PortLinkPath(port_) : std::string();
}

void ModemSimulator::IoLoop() {
    while (!stop_.load()) {
        if (vanishRequested_.load()) {
            CloseDevice();
            vanished_.store(true);
            return;
        }
        const auto now = Clock::now();
        std::vector<std::vector<uint8_t>> unsolicited;
        {
            std::lock_guard lk(mutex_);
            unsolicited.swap(unsolicited_);
        }
        for (std::vector<uint8_t>& frame : unsolicited) {
            Queue(std::move(frame), now);
        }
        PromoteDue(now);
        StreamLogs(now);
        AppendFloodFrames();
        FlushOutput();

        std::optional<Clock::time_point> due;
        if (!pending_.empty()) {
            due = pending_.front().due;
        }
        if (options_.logStream && (!due || nextLog_ < *due)) {
            due = nextLog_;
        }
        int timeout = -1;
        if (due) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now);
            timeout = static_cast<int>(std::clamp<int64_t>(wait.count(), 0, 60000));
        }
        pollfd fds[2] = {{wake_, POLLIN, 0},
                         {master_, static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0}};
        if (poll(fds, 2, timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::fprintf(stderr, "velmo-modem-sim: poll: %s\n", std::strerror(errno));
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            uint64_t count = 0;
            (void)read(wake_, &count, sizeof count);
        }
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            ReadMaster();
        }
    }
}

void ModemSimulator::OnLinkReset() {
    // The library opened or closed its side: its decoder hunts for a flag, our half-read frame is stale, and
    // whatever was still to be sent belongs to the session that ended.
    leadingFlag_ = true;
    rx_.state = transport::RxState::Start;  // requests carry no opening flag
    rx_.Reset();
    raw_.clear();
    out_.clear();
    pending_.clear();
    nextLog_ = Clock::now();  // a new session hears the stream at once
    EndSession();
}

void ModemSimulator::EndSession() {
    std::lock_guard lk(mutex_);
    EndSessionLocked();
}

void ModemSimulator::EndSessionLocked() {
    state_.spcUnlocked = 0;
    state_.prlReceiving = false;
    state_.prlIncoming.clear();
}

void ModemSimulator::ReadMaster() {
    // Packet mode: byte 0 is TIOCPKT_DATA before data, or a status byte alone.
    std::array<uint8_t, 1 + 4096> buffer{};
    for (;;) {
        const ssize_t got = read(master_, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && errno == EAGAIN) {
            return;
        }
        if (got <= 0) {
            // The pty broke under us; disappear rather than spin on it.
            vanishRequested_.store(true);
            return;
        }
        if (buffer[0] != TIOCPKT_DATA) {
            if ((buffer[0] & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE)) != 0) {
                OnLinkReset();
            }
            continue;
        }
        for (ssize_t i = 1; i < got && !vanishRequested_.load(); ++i) {
            const uint8_t b = buffer[static_cast<size_t>(i)];
            if (raw_.size() < kMaxRawFrame) {
                raw_.push_back(b);
            }
            rx_.ProcessReceived(&b, 1, *this);
            if (rx_.state != transport::RxState::Body) {
                raw_.clear();  // flags and dropped bytes belong to no frame
            }
        }
    }
}

void ModemSimulator::OnFrame(const uint8_t* frame, size_t count) {
    if (count < 3) {
        return;
    }
    const auto now = Clock::now();
    const Outcome outcome = Process({frame, count - 2}, raw_, now);
    if (outcome.reply.empty()) {
        return;
    }
    std::vector<uint8_t> frameBytes = EncodeFrame(outcome.reply, outcome.corrupt);
    if (!frameBytes.empty()) {
        Queue(std::move(frameBytes), now + std::chrono::milliseconds(outcome.delayMs));
    }
}

std::vector<uint8_t> ModemSimulator::Answer(std::span<const uint8_t> packet) {
    if (packet.empty()) {
        return {};
    }
    return Process(packet, {}, Clock::now()).reply;
}

ModemSimulator::Outcome ModemSimulator::Process(std::span<const uint8_t> packet, std::span<const uint8_t> raw,
                                                Clock::time_point now) {
    const uint8_t code = packet[0];
    Outcome outcome;
    std::lock_guard lk(mutex_);
    if (requests_.size() >= kMaxLoggedRequests) {
        requests_.erase(requests_.begin());
    }
    requests_.push_back({std::vector<uint8_t>(packet.begin(), packet.end()), {raw.begin(), raw.end()}});
    if (logRequests_) {
        std::fprintf(stderr, "velmo-modem-sim: request %s\n", MaskedRequest(packet).c_str());
    }
    if (now < silentUntil_) {
        return outcome;  // resetting
    }
    const bool hit = fault_.code < 0 || fault_.code == code;
    const FaultMode mode = hit ? fault_.mode : FaultMode::None;
    if (mode == FaultMode::NoReply) {
        return outcome;
    }
    if (mode == FaultMode::ReplyOnlyToRetry && !retrySeen_[code]) {
        retrySeen_[code] = true;
        return outcome;
    }
    if (mode == FaultMode::Vanish) {
        vanishRequested_.store(true);
        return outcome;
    }
    RequestContext ctx{packet, state_};
    if (mode == FaultMode::ErrorStatus || !handlers_[code]) {
        outcome.reply = ErrorReply(ctx.packet);
    } else {
        outcome.reply = handlers_[code](ctx);
    }
    if (ctx.reset) {
        // The modem restarts: sessions end, the card wants its PIN again, and it is deaf for a moment.
        silentUntil_ = now + options_.resetSilence;
        EndSessionLocked();
        state_.pinVerified = 0;
    }
    if (ctx.stateChanged) {
        SaveState();
    }
    if (outcome.reply.empty()) {
        return outcome;
    }
    if (answers_.size() >= kMaxLoggedRequests) {
        answers_.erase(answers_.begin());
    }
    answers_.push_back(outcome.reply);
    outcome.corrupt = mode == FaultMode::BadFcs;
    outcome.delayMs = mode == FaultMode::Slow ? fault_.arg : 0;
    return outcome;
}

void ModemSimulator::Queue(std::vector<uint8_t> frame, Clock::time_point due) {
    const auto at = std::upper_bound(pending_.begin(), pending_.end(), due,
                                     [](Clock::time_point t, const Pending& p) { return t < p.due; });
    pending_.insert(at, Pending{due, std::move(frame)});
    PromoteDue(Clock::now());
}

void ModemSimulator::PromoteDue(Clock::time_point now) {
    auto it = pending_.begin();
    for (; it != pending_.end() && it->due <= now; ++it) {
        if (leadingFlag_) {
            out_.push_back(transport::kFlagByte);
            leadingFlag_ = false;
        }
        out_.insert(out_.end(), it->frame.begin(), it->frame.end());
    }
    pending_.erase(pending_.begin(), it);
}

void ModemSimulator::AppendFrame(const std::vector<uint8_t>& frame) {
    if (leadingFlag_) {
        out_.push_back(transport::kFlagByte);
        leadingFlag_ = false;
    }
    out_.insert(out_.end(), frame.begin(), frame.end());
}

void ModemSimulator::StreamLogs(Clock::time_point now) {
    if (!options_.logStream || now < nextLog_) {
        return;
    }
    std::vector<std::vector<uint8_t>> packets;
    auto period = std::chrono::duration_cast<Clock::duration>(kIdleLogCheck);
    {
        std::lock_guard lk(mutex_);
        const bool up = EvdoUp(state_);
        if (up && state_.logRateHz > 0) {
            period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / state_.logRateHz;
            // Nobody reading: the stream is dropped rather than piled up.
            if (out_.size() < kFloodLowWater) {
                packets = logStream_.Tick(state_);
            }
        } else if (!up && evdoWasUp_) {
            packets.push_back(logStream_.SignalLost(state_));
        }
        evdoWasUp_ = up;
    }
    nextLog_ = std::max(nextLog_ + period, now);
    for (const std::vector<uint8_t>& packet : packets) {
        AppendFrame(EncodeFrame(packet));
    }
}

void ModemSimulator::AppendFloodFrames() {
    if (out_.size() >= kFloodLowWater) {
        return;
    }
    uint8_t rssi1x = 0;
    int64_t timeOffsetMs = 0;
    {
        std::lock_guard lk(mutex_);
        if (fault_.mode != FaultMode::Flood) {
            return;
        }
        rssi1x = state_.rssi1x;
        timeOffsetMs = state_.timeOffsetMs;
    }
    while (out_.size() < kFloodLowWater) {
        AppendFrame(EncodeFrame(FloodPacket(floodSequence_++, rssi1x, timeOffsetMs)));
    }
}

void ModemSimulator::FlushOutput() {
    size_t done = 0;
    while (done < out_.size()) {
        const ssize_t wrote = write(master_, out_.data() + done, out_.size() - done);
        if (wrote > 0) {
            done += static_cast<size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0 && errno != EAGAIN) {
            done = out_.size();  // nobody can read it any more
        }
        break;
    }
    out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(done));
}

void ModemSimulator::SaveState() {
    std::string error;
    if (!SaveStateFile(options_.statePath, state_, &error)) {
        std::fprintf(stderr, "velmo-modem-sim: %s\n", error.c_str());
    }
}

void ModemSimulator::SetFault(const Fault& fault) {
    {
        std::lock_guard lk(mutex_);
        fault_ = fault;
        retrySeen_.fill(false);
    }
    if (fault.mode == FaultMode::Vanish && fault.code < 0) {
        Vanish();
    } else {
        Wake();  // a flood starts at once
    }
}

Fault ModemSimulator::CurrentFault() const {
    std::lock_guard lk(mutex_);
    return fault_;
}

void ModemSimulator::SetLogging(bool on) {
    std::lock_guard lk(mutex_);
    logRequests_ = on;
}

std::vector<LoggedRequest> ModemSimulator::Requests() const {
    std::lock_guard lk(mutex_);
    return requests_;
}

void ModemSimulator::ClearRequests() {
    std::lock_guard lk(mutex_);
    requests_.clear();
    answers_.clear();
}

std::vector<std::vector<uint8_t>> ModemSimulator::Answers() const {
    std::lock_guard lk(mutex_);
    return answers_;
}

DeviceState ModemSimulator::State() const {
    std::lock_guard lk(mutex_);
    return state_;
}

bool ModemSimulator::SetField(std::string_view name, std::string_view value, std::string* error) {
    std::lock_guard lk(mutex_);
    DeviceState changed = state_;
    if (!SetStateField(changed, name, value, error)) {
        return false;
    }
    if (!SaveStateFile(options_.statePath, changed, error)) {
        return false;
    }
    state_ = changed;
    return true;
}

bool ModemSimulator::UpdateState(const std::function<bool(DeviceState&, std::string*)>& change,
                                 std::string* error) {
    std::lock_guard lk(mutex_);
    DeviceState changed = state_;
    if (!change(changed, error) || !SaveStateFile(options_.statePath, changed, error)) {
        return false;
    }
    state_ = changed;
    return true;
}

std::vector<std::string> ModemSimulator::StatusLines() const {
    std::lock_guard lk(mutex_);
    std::vector<std::string> lines = {
        "port = " + std::to_string(port_),
        "pty = " + ptyPath_,
        "vanished = " + std::string(vanished_.load() ? "yes" : "no"),
        "fault = " + FormatFault(fault_),
        "requests = " + std::to_string(requests_.size()),
        "state_file = " + options_.statePath,
    };
    for (const std::string& name : StateFieldNames()) {
        std::string value;
        GetStateField(state_, name, &value);
        lines.push_back(name + " = " + value);
    }
    for (const auto& [item, data] : state_.nv) {
        const std::string name = "nv." + std::to_string(item);
        std::string value;
        GetStateField(state_, name, &value);
        lines.push_back(name + " = " + value);
    }
    return lines;
}

void ModemSimulator::SetHandler(uint8_t code, RequestHandler handler) {
    std::lock_guard lk(mutex_);
    handlers_[code] = std::move(handler);
}

bool ModemSimulator::SwitchScenario(std::string_view nameOrFile, std::string* error) {
    Scenario scenario;
    DeviceState next;
    if (!LoadScenario(nameOrFile, &scenario, error) || !ApplyScenario(scenario, &next, error)) {
        return false;
    }
    {
        std::lock_guard lk(mutex_);
        if (!SaveStateFile(options_.statePath, next, error)) {
            return false;
        }
        state_ = std::move(next);
    }
    Wake();
    return true;
}

void ModemSimulator::SendUnsolicited(std::span<const uint8_t> packet) {
    std::vector<uint8_t> frame = EncodeFrame(packet);
    if (frame.empty()) {
        return;
    }
    {
        std::lock_guard lk(mutex_);
        unsolicited_.push_back(std::move(frame));
    }
    Wake();
}

}  // namespace velmo::sim
