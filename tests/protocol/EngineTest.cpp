#include "library/protocol/Engine.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "library/transport/MemoryTransport.h"
#include "transport/ReferenceCodec.h"

namespace velmo::protocol {
namespace {

using namespace std::chrono_literals;
using velmo::refcodec::Bytes;
using velmo::refcodec::Concat;
using velmo::refcodec::RefDecodeStream;
using velmo::refcodec::RefEncode;

// Virtual clock, engine and an in-memory modem link. The short grace keeps serial-mode waits (which block on
// the response event) cheap in real time.
struct Rig {
    explicit Rig(uint32_t start = 0) : clock(start, 20ms), engine(clock), link(engine) {
        engine.SetTransport(&link);
    }
    // A reply as the modem sends it; the leading flag makes it decodable whatever the decoder's state.
    void Reply(const Bytes& packet) { link.Deliver(Concat({{0x7E}, RefEncode(packet)})); }
    void Send(uint8_t code, std::initializer_list<uint8_t> fields = {}) {
        engine.request.fill(0);
        engine.request[0] = code;
        size_t i = 1;
        for (uint8_t f : fields) {
            engine.request[i++] = f;
        }
        ASSERT_EQ(engine.BuildRequest(code), 0);
        ASSERT_TRUE(engine.SendBuilt());
    }
    // The packets the engine wrote, in order.
    std::vector<Bytes> Requests() {
        std::vector<Bytes> out;
        for (const Bytes& frame : link.Written()) {
            const auto packets = RefDecodeStream(Concat({{0x7E}, frame}));
            EXPECT_EQ(packets.size(), 1u);
            out.push_back(packets.empty() ? Bytes{} : packets[0]);
        }
        return out;
    }
    void ReplyTo(std::function<void(const Bytes& request)> answer) {
        link.SetResponder([this, answer](const std::vector<uint8_t>& frame) {
            const auto packets = RefDecodeStream(Concat({{0x7E}, frame}));
            if (packets.size() == 1) {
                answer(packets[0]);
            }
        });
    }

    platform::FakeClock clock;
    Engine engine;
    transport::MemoryTransport link;
};

Bytes Filled(std::initializer_list<uint8_t> head, size_t n, uint8_t fill) {
    Bytes out(head);
    out.resize(n, fill);
    return out;
}

class Unsolicited final : public IUnsolicitedHandler {
  public:
    void OnLogPacket(const uint8_t* packet, size_t n) override { logs.emplace_back(packet, packet + n); }
    bool OnVendorPacket(const uint8_t* packet, size_t n) override {
        vendor.emplace_back(packet, packet + n);
        return true;
    }
    std::vector<Bytes> logs;
    std::vector<Bytes> vendor;
};

// --- Reply blocks
// -------------------------------------------------------------------------------------------

TEST(ReplyBlocks, ShortRepliesAreZeroFilledAndNeverHoldTheFcs) {
    Rig rig;
    const Bytes full = Filled({VersionRequest}, kVersionReplySize, 0xAA);
    rig.Reply(full);
    EXPECT_EQ(rig.engine.Block(VersionRequest), full);

    rig.Reply({VersionRequest, 0x01, 0x02});
    EXPECT_EQ(rig.engine.Block(VersionRequest),
              Filled({VersionRequest, 0x01, 0x02}, kVersionReplySize, 0x00));

    // Longer than the block: cut to its size.
    const Bytes longer = Filled({StatusRequest}, 60, 0x5C);
    rig.Reply(longer);
    EXPECT_EQ(rig.engine.Block(StatusRequest), Bytes(longer.begin(), longer.begin() + kStatusReplySize));

    // CopyBlock into a larger buffer pads with zeros, and codes without a block read as zeros.
    Bytes out(kStatusReplySize + 5, 0xFF);
    rig.engine.CopyBlock(StatusRequest, out.data(), out.size());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + kStatusReplySize), rig.engine.Block(StatusRequest));
    EXPECT_EQ(Bytes(out.begin() + kStatusReplySize, out.end()), Bytes(5, 0));
    Bytes none(8, 0xFF);
    rig.engine.CopyBlock(EventReportRequest, none.data(), none.size());
    EXPECT_EQ(none, Bytes(8, 0));
    EXPECT_TRUE(rig.engine.Block(EventReportRequest).empty());

    rig.engine.ClearBlock(StatusRequest);
    EXPECT_EQ(rig.engine.Block(StatusRequest), Bytes(kStatusReplySize, 0));
}

TEST(ReplyBlocks, Request60KeepsTheLargeFormOnlyForSubCommand33) {
    Rig rig;
    const Bytes large = Filled({Request60, 0x00, kRequest60LargeSubcommand}, 1100, 0x61);
    rig.Reply(large);
    Bytes block = rig.engine.Block(Request60);
    ASSERT_EQ(block.size(), kRequest60LargeReplySize);
    EXPECT_EQ(block, Bytes(large.begin(), large.begin() + kRequest60LargeReplySize));

    const Bytes small = Filled({Request60, 0x00, 0x05}, 1100, 0x62);
    rig.Reply(small);
    block = rig.engine.Block(Request60);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + kRequest60ReplySize),
              Bytes(small.begin(), small.begin() + kRequest60ReplySize));
    EXPECT_EQ(Bytes(block.begin() + kRequest60ReplySize, block.end()),
              Bytes(kRequest60LargeReplySize - kRequest60ReplySize, 0));

    // Too short to carry a sub-command: the small form.
    rig.Reply({Request60, 0x33});
    block = rig.engine.Block(Request60);
    EXPECT_EQ(block, Filled({Request60, 0x33}, kRequest60LargeReplySize, 0));
}

TEST(ReplyBlocks, FileSystemRepliesAreKeptOnlyForTheGreeting) {
    Rig rig;
    const Bytes greeting = Filled({SubsystemRequest, 0x13, 0x00}, kSubsystemReplySize, 0xA1);
    rig.Reply(greeting);
    EXPECT_EQ(rig.engine.Block(SubsystemRequest), greeting);

    rig.Reply(Filled({SubsystemRequest, 0x13, 0x02}, kSubsystemReplySize, 0xB2));
    rig.Reply({SubsystemRequest, 0x13});
    EXPECT_EQ(rig.engine.Block(SubsystemRequest), greeting);

    const Bytes other = Filled({SubsystemRequest, 0x0F, 0x02}, kSubsystemReplySize, 0xC3);
    rig.Reply(other);
    EXPECT_EQ(rig.engine.Block(SubsystemRequest), other);
}

TEST(ReplyBlocks, DispatchResultsAndUnsolicitedPackets) {
    Rig rig;
    Unsolicited sink;
    rig.engine.SetUnsolicitedHandler(&sink);
    const Bytes fcs = {0xEE, 0xEE};  // DispatchResponse takes frames as the decoder hands them on

    const Bytes report = {VendorPacket, 4, 0x10, 0x20};
    EXPECT_EQ(rig.engine.DispatchResponse(Concat({report, fcs}).data(), report.size() + 2), 0);
    ASSERT_EQ(sink.vendor.size(), 1u);
    EXPECT_EQ(sink.vendor[0], report);

    for (uint8_t notReport : {0, 1, 8, 41}) {
        const Bytes vendor = {VendorPacket, notReport, 0x00};
        EXPECT_EQ(rig.engine.DispatchResponse(Concat({vendor, fcs}).data(), vendor.size() + 2), 1);
    }
    const Bytes bare = {VendorPacket};
    EXPECT_EQ(rig.engine.DispatchResponse(Concat({bare, fcs}).data(), 3), 1);
    EXPECT_EQ(sink.vendor.size(), 1u);

    const Bytes log = {LogRequest, 0x01, 0x00, 0x00};
    EXPECT_EQ(rig.engine.DispatchResponse(Concat({log, fcs}).data(), log.size() + 2), 1);
    ASSERT_EQ(sink.logs.size(), 1u);
    EXPECT_EQ(sink.logs[0], log);

    const Bytes unknown = {0x12, 0x34};
    EXPECT_EQ(rig.engine.DispatchResponse(Concat({unknown, fcs}).data(), unknown.size() + 2), 1);
}

// --- Which replies end a wait
// -------------------------------------------------------------------------------

TEST(ReplyRelease, OnlyTheAwaitedCodeEndsTheWait) {
    Rig rig;
    rig.Send(StatusRequest);
    EXPECT_EQ(rig.engine.ReplyAwaited.load(), 1);

    rig.Reply(Filled({VersionRequest}, 10, 0x01));  // stale reply of an earlier request
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 0);
    EXPECT_EQ(rig.engine.ReplyAwaited.load(), 1);
    EXPECT_EQ(rig.engine.Block(VersionRequest)[1], 0x01);  // still kept

    rig.Reply({StatusRequest, 0x02});
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 1);
    EXPECT_EQ(rig.engine.ReplyAwaited.load(), 0);
    EXPECT_TRUE(rig.engine.WaitEvent(0));

    // Nothing awaited any more: a repeated reply does not arm the next wait.
    rig.engine.ResponseArrived.store(0);
    rig.Reply({StatusRequest, 0x03});
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 0);
}

TEST(ReplyRelease, SubsystemReplyMustNameTheAwaitedSubsystem) {
    Rig rig;
    rig.Send(SubsystemRequest, {0x0F, 0x00, 0x00});
    rig.Reply(Filled({SubsystemRequest, 0x05, 0x08}, kSubsystemReplySize, 0));
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 0);
    rig.Reply({SubsystemRequest});
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 0);
    rig.Reply(Filled({SubsystemRequest, 0x0F, 0x00}, kSubsystemReplySize, 0));
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 1);
}

TEST(ReplyRelease, StreamingCodesNeverEndAWait) {
    for (uint8_t code : {LogRequest, ReportLevelRequest, MessagePacket, EventPacket}) {
        SCOPED_TRACE("code " + std::to_string(code));
        Rig rig;
        rig.engine.request.fill(0);
        rig.engine.request[0] = code;
        rig.engine.BuildRequest(code);  // 0x60 and 0x79 are refused; the wait is armed regardless
        ASSERT_TRUE(rig.engine.SendBuilt());
        rig.Reply(Filled({code}, 90, 0x00));
        EXPECT_EQ(rig.engine.ResponseArrived.load(), 0);
        EXPECT_EQ(rig.engine.ReplyAwaited.load(), 1);
    }
}

TEST(ReplyRelease, VendorReportsNeverEndAWait) {
    Rig rig;
    rig.engine.BuildRequest(VendorPacket);
    ASSERT_TRUE(rig.engine.SendBuilt());
    rig.Reply({VendorPacket, 4, 0x00});
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 0);
}

// --- The send step
// ------------------------------------------------------------------------------------------

TEST(SendBuilt, ClearsTheHandOverOfAnEarlierReply) {
    Rig rig;
    rig.engine.NetworkMode.store(1);
    rig.Send(StatusRequest);
    EXPECT_EQ(rig.engine.WaitReply(3000), 0);
    // A late reply arrives after the wait gave up: kept, and it signals...
    rig.Reply(Filled({StatusRequest}, kStatusReplySize, 0x77));
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 1);
    EXPECT_EQ(rig.engine.Block(StatusRequest)[1], 0x77);

    // ...but the next request starts clean, in both modes.
    rig.Send(StatusRequest);
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 0);
    EXPECT_EQ(rig.engine.WaitReply(3000), 0);
    rig.engine.NetworkMode.store(0);
    rig.Reply({StatusRequest});
    rig.Send(StatusRequest);
    EXPECT_FALSE(rig.engine.WaitEvent(100));
}

TEST(SendBuilt, WritesTheBuiltFrameOnceAndNothingWithoutATransport) {
    Rig rig;
    rig.Send(ModeRequest, {0x02});
    ASSERT_EQ(rig.link.Written().size(), 1u);
    EXPECT_EQ(rig.link.Written()[0], (Bytes{0x29, 0x02, 0x00, 0x59, 0x6A, 0x7E}));

    rig.engine.SetTransport(nullptr);
    rig.engine.ReplyAwaited.store(0);
    ASSERT_EQ(rig.engine.BuildRequest(StatusRequest), 0);
    EXPECT_FALSE(rig.engine.SendBuilt());
    EXPECT_EQ(rig.engine.ReplyAwaited.load(), 0);
    EXPECT_EQ(rig.link.Written().size(), 1u);
    // With no request outstanding a stray reply releases nothing.
    rig.Reply({StatusRequest});
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 0);
}

// --- Waiting
// ------------------------------------------------------------------------------------------------

TEST(NetworkWait, TimesOutAtItsTimeoutInVirtualTime) {
    Rig rig;
    rig.engine.NetworkMode.store(1);
    rig.Send(StatusRequest);
    EXPECT_EQ(rig.engine.WaitReply(3000), 0);
    EXPECT_GE(rig.clock.Elapsed(), 3000u);
    EXPECT_LE(rig.clock.Elapsed(), 3000u + kNetworkPollStepMs);
}

TEST(NetworkWait, ReplyEndsTheWaitWithinAPollStep) {
    Rig rig;
    rig.engine.NetworkMode.store(1);
    rig.Send(StatusRequest);
    rig.clock.At(120, [&] { rig.Reply({StatusRequest}); });
    EXPECT_EQ(rig.engine.WaitReply(3000), 1);
    EXPECT_GE(rig.clock.Elapsed(), 120u);
    EXPECT_LE(rig.clock.Elapsed(), 120u + kNetworkPollStepMs);
    EXPECT_EQ(rig.engine.ResponseArrived.load(), 0);  // consumed by the waiter
}

TEST(NetworkWait, TickCounterWrapNeitherEndsNorStallsTheWait) {
    {
        const uint32_t start = 0xFFFFFFFFu - 25;
        Rig rig(start);
        rig.engine.NetworkMode.store(1);
        rig.Send(StatusRequest);
        EXPECT_EQ(rig.engine.WaitReply(1000), 0);
        EXPECT_GE(rig.clock.Elapsed(), 1000u);
        EXPECT_LE(rig.clock.Elapsed(), 2000u);
    }
    {
        const uint32_t start = 0xFFFFFFFFu - 25;
        Rig rig(start);
        rig.engine.NetworkMode.store(1);
        rig.Send(StatusRequest);
        rig.clock.At(uint64_t{start} + 500, [&] { rig.Reply({StatusRequest}); });
        EXPECT_EQ(rig.engine.WaitReply(1000), 1);
        EXPECT_LE(rig.clock.Elapsed(), 500u + kNetworkPollStepMs);
    }
}

TEST(NetworkWait, AbortWithoutAReplyFails) {
    Rig rig;
    rig.engine.NetworkMode.store(1);
    rig.Send(StatusRequest);
    rig.clock.At(50, [&] { rig.engine.AbortFlag.store(1); });
    EXPECT_EQ(rig.engine.WaitReply(6000), 0);
    EXPECT_GE(rig.clock.Elapsed(), 50u);
    EXPECT_LE(rig.clock.Elapsed(), 50u + kNetworkPollStepMs);
}

TEST(NetworkWait, ReplyThatCameWithTheAbortCounts) {
    Rig rig;
    rig.engine.NetworkMode.store(1);
    rig.Send(StatusRequest);
    rig.clock.At(50, [&] {
        rig.Reply({StatusRequest});
        rig.engine.AbortFlag.store(1);
    });
    EXPECT_EQ(rig.engine.WaitReply(6000), 1);
    EXPECT_LE(rig.clock.Elapsed(), 50u + kNetworkPollStepMs);
}

TEST(SerialWait, WaitsFiveSecondsWhateverTheTimeout) {
    for (uint32_t timeout : {100u, 3000u, 6000u}) {
        Rig rig;
        rig.Send(StatusRequest);
        EXPECT_EQ(rig.engine.WaitReply(timeout), 0);
        EXPECT_EQ(rig.clock.Elapsed(), kSerialWaitMs) << "timeout " << timeout;
    }
    Rig rig;
    rig.ReplyTo([&](const Bytes& req) { rig.Reply({req[0]}); });
    rig.Send(StatusRequest);
    EXPECT_EQ(rig.engine.WaitReply(3000), 1);
    EXPECT_EQ(rig.clock.Elapsed(), 0u);
}

TEST(EventWait, OneSecondInEveryMode) {
    for (int network : {0, 1}) {
        Rig rig;
        rig.engine.NetworkMode.store(network);
        rig.engine.request.fill(0);
        rig.engine.request[1] = 2;
        EXPECT_FALSE(rig.engine.Transact(ModeRequest));
        EXPECT_EQ(rig.clock.Elapsed(), kEventWaitMs);
        rig.ReplyTo([&](const Bytes& req) { rig.Reply({req[0], req[1], 0x00}); });
        EXPECT_TRUE(rig.engine.Transact(ModeRequest));
        EXPECT_EQ(rig.clock.Elapsed(), kEventWaitMs);
    }
}

// --- Start-up handshake
// -------------------------------------------------------------------------------------

Bytes EventReportBody() {
    Bytes body(kEventReportRequestSize, 0);
    body[0] = EventReportRequest;
    body[1] = 0x56;
    body[2] = 0x03;
    return body;
}

Bytes ReportLevelBody() {
    Bytes body(kReportLevelRequestSize, 0);
    body[0] = ReportLevelRequest;
    body[1] = 0xFF;
    return body;
}

TEST(Handshake, SendsVersionEventReportAndReportLevelInOrder) {
    for (int network : {0, 1}) {
        SCOPED_TRACE(network != 0 ? "network" : "serial");
        Rig rig;
        rig.engine.NetworkMode.store(network);
        rig.ReplyTo([&](const Bytes& req) { rig.Reply(Filled({req[0]}, 8, 0x00)); });
        EXPECT_EQ(rig.engine.StartupHandshake(), 1);
        const std::vector<Bytes> want = {{VersionRequest}, EventReportBody(), ReportLevelBody()};
        EXPECT_EQ(rig.Requests(), want);
        // The exact bytes on the wire, stuffed and framed.
        ASSERT_EQ(rig.link.Written().size(), 3u);
        EXPECT_EQ(rig.link.Written()[1], RefEncode(EventReportBody()));
        // Answered at once: the network-mode waits cost one poll step each, serial waits nothing.
        EXPECT_LE(rig.clock.Elapsed(), network != 0 ? 2u * kNetworkPollStepMs : 0u);
    }
}

TEST(Handshake, SilentModemFailsAfterTwoVersionAttempts) {
    struct Mode {
        int network;
        uint64_t elapsed;
    };
    for (Mode m :
         {Mode{1, 6000 + kVersionRetryPauseMs + 6000}, Mode{0, 2 * kSerialWaitMs + kVersionRetryPauseMs}}) {
        SCOPED_TRACE(m.network != 0 ? "network" : "serial");
        Rig rig;
        rig.engine.NetworkMode.store(m.network);
        EXPECT_EQ(rig.engine.StartupHandshake(), 0);
        EXPECT_EQ(rig.Requests(), (std::vector<Bytes>{{VersionRequest}, {VersionRequest}}));
        EXPECT_GE(rig.clock.Elapsed(), m.elapsed);
        EXPECT_LE(rig.clock.Elapsed(), m.elapsed + 2 * kNetworkPollStepMs);
    }
}

TEST(Handshake, EventReportIsTriedThreeTimesWithAFreshBody) {
    Rig rig;
    rig.engine.NetworkMode.store(1);
    rig.ReplyTo([&](const Bytes& req) {
        if (req[0] == VersionRequest) {
            rig.Reply({VersionRequest});
        } else {
            // Leave junk in the request buffer: the next attempt must not send it.
            rig.engine.request[50] = 0xAA;
            rig.engine.request[109] = 0x7E;
            rig.engine.request[110] = 0x7D;
        }
    });
    EXPECT_EQ(rig.engine.StartupHandshake(), 0);
    const Bytes body = EventReportBody();
    EXPECT_EQ(rig.Requests(), (std::vector<Bytes>{{VersionRequest}, body, body, body}));
    const uint64_t want = 3 * 6000 + 2 * kEventReportRetryPauseMs + kNetworkPollStepMs;
    EXPECT_GE(rig.clock.Elapsed(), want - kNetworkPollStepMs);
    EXPECT_LE(rig.clock.Elapsed(), want + 3 * kNetworkPollStepMs);
}

TEST(Handshake, ThirdEventReportAttemptMaySucceed) {
    Rig rig;
    rig.engine.NetworkMode.store(1);
    int eventReports = 0;
    rig.ReplyTo([&](const Bytes& req) {
        if (req[0] != EventReportRequest || ++eventReports == 3) {
            rig.Reply({req[0]});
        }
    });
    EXPECT_EQ(rig.engine.StartupHandshake(), 1);
    EXPECT_EQ(eventReports, 3);
    EXPECT_EQ(rig.Requests().back(), ReportLevelBody());
}

TEST(Handshake, ModemAnsweringOnlyTheSecondVersionRequest) {
    struct Mode {
        int network;
        uint64_t firstWait;
    };
    for (Mode m : {Mode{1, 6000}, Mode{0, kSerialWaitMs}}) {
        SCOPED_TRACE(m.network != 0 ? "network" : "serial");
        Rig rig;
        rig.engine.NetworkMode.store(m.network);
        int versions = 0;
        rig.ReplyTo([&](const Bytes& req) {
            if (req[0] != VersionRequest || ++versions > 1) {
                rig.Reply(Filled({req[0]}, 4, 0x00));
            }
        });
        EXPECT_EQ(rig.engine.StartupHandshake(), 1);
        EXPECT_EQ(
            rig.Requests(),
            (std::vector<Bytes>{{VersionRequest}, {VersionRequest}, EventReportBody(), ReportLevelBody()}));
        const uint64_t want = m.firstWait + kVersionRetryPauseMs;
        EXPECT_GE(rig.clock.Elapsed(), want);
        EXPECT_LE(rig.clock.Elapsed(), want + 3 * kNetworkPollStepMs);
    }
}

TEST(Handshake, RepliesScheduledInVirtualTime) {
    Rig rig;
    rig.engine.NetworkMode.store(1);
    rig.ReplyTo([&](const Bytes& req) {
        const uint8_t code = req[0];
        // Each reply comes 300 ms after its request.
        rig.clock.At(rig.clock.Elapsed() + 300, [&rig, code] { rig.Reply({code}); });
    });
    EXPECT_EQ(rig.engine.StartupHandshake(), 1);
    EXPECT_GE(rig.clock.Elapsed(), 600u);
    EXPECT_LE(rig.clock.Elapsed(), 600u + 2 * kNetworkPollStepMs);
    EXPECT_EQ(rig.Requests().size(), 3u);
}

}  // namespace
}  // namespace velmo::protocol
