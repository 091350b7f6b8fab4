#include "library/protocol/Notifications.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "library/transport/MemoryTransport.h"
#include "support/FrameStream.h"

namespace velmo::protocol {
namespace {

using namespace std::chrono_literals;
using testsupport::Bytes;

// The report table, written out again: code and the size of its copy.
struct Report {
    uint8_t code;
    size_t size;
};
constexpr Report kReports[] = {{4, 5},    {5, 5},  {6, 5},  {7, 40}, {9, 261}, {16, 298},
                               {17, 353}, {28, 6}, {36, 5}, {37, 5}, {40, 6}};

Bytes ReportPacket(uint8_t code, size_t n, uint8_t fill) {
    Bytes p(n, fill);
    p[0] = VendorPacket;
    if (n > 1) {
        p[1] = code;
    }
    if (n > 2) {
        p[2] = 0x83;
    }
    return p;
}

// Records every post with a copy of the report, as a real target must make before returning.
class Recorder final : public IModemNotifyTarget {
  public:
    explicit Recorder(const Notifier& notifier) : notifier_(notifier) {}
    void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        Post p;
        p.message = message;
        p.code = wParam;
        p.offset = static_cast<size_t>(reinterpret_cast<const uint8_t*>(lParam) - notifier_.Ring());
        const size_t size = ReportSize(static_cast<uint8_t>(wParam));
        if (p.offset + size <= kReportRingSize) {
            p.copy.assign(notifier_.Ring() + p.offset, notifier_.Ring() + p.offset + size);
        }
        std::lock_guard lk(mutex_);
        posts_.push_back(std::move(p));
    }
    struct Post {
        uint32_t message = 0;
        uintptr_t code = 0;
        size_t offset = 0;
        Bytes copy;
    };
    std::vector<Post> Posts() {
        std::lock_guard lk(mutex_);
        return posts_;
    }
    Post Last() {
        std::lock_guard lk(mutex_);
        return posts_.empty() ? Post{} : posts_.back();
    }

  private:
    const Notifier& notifier_;
    std::mutex mutex_;
    std::vector<Post> posts_;
};

// Hands the packet over in a heap block of exactly its size, so that reading past it is an ASan report.
bool Deliver(Notifier& notifier, const Bytes& packet) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[packet.size() + (packet.empty() ? 1 : 0)]);
    std::copy(packet.begin(), packet.end(), exact.get());
    return notifier.OnVendorPacket(exact.get(), packet.size());
}

TEST(Reports, EveryTableCodeIsPostedWithItsSize) {
    Notifier notifier;
    Recorder target(notifier);
    notifier.SetTarget(&target);
    size_t position = 0;
    for (const Report r : kReports) {
        SCOPED_TRACE(static_cast<int>(r.code));
        const Bytes packet = ReportPacket(r.code, r.size + 7, static_cast<uint8_t>(r.code + 0x40));
        EXPECT_TRUE(Deliver(notifier, packet));
        const auto posts = target.Posts();
        ASSERT_FALSE(posts.empty());
        const auto& p = posts.back();
        EXPECT_EQ(p.message, kModemReportMessage);
        EXPECT_EQ(p.code, r.code);
        EXPECT_EQ(p.offset, position);
        EXPECT_EQ(p.copy, Bytes(packet.begin(), packet.begin() + static_cast<long>(r.size)));
        position += r.size;
        EXPECT_EQ(notifier.WritePosition(), position);
    }
    EXPECT_EQ(target.Posts().size(), std::size(kReports));
}

TEST(Reports, UnknownCodesAreNotPostedAndDoNotMoveTheRing) {
    Notifier notifier;
    Recorder target(notifier);
    notifier.SetTarget(&target);
    for (unsigned code = 0; code < 256; ++code) {
        const bool known = std::any_of(std::begin(kReports), std::end(kReports),
                                       [code](const Report& r) { return r.code == code; });
        if (!known) {
            EXPECT_FALSE(Deliver(notifier, ReportPacket(static_cast<uint8_t>(code), 400, 0x11))) << code;
        }
    }
    EXPECT_FALSE(Deliver(notifier, Bytes{VendorPacket}));
    EXPECT_FALSE(Deliver(notifier, Bytes{}));
    EXPECT_TRUE(target.Posts().empty());
    EXPECT_EQ(notifier.WritePosition(), 0u);
}

TEST(Reports, ShortReportIsZeroFilledNeverStale) {
    Notifier notifier;
    Recorder target(notifier);
    notifier.SetTarget(&target);
    // Fourteen full MESSAGE reports fill the ring up to 4942; the fifteenth goes to 0 over the first one.
    for (int i = 0; i < 14; ++i) {
        ASSERT_TRUE(Deliver(notifier, ReportPacket(17, 353, 0xAA)));
    }
    const Bytes shortReport = ReportPacket(17, 10, 0x55);
    ASSERT_TRUE(Deliver(notifier, shortReport));
    const auto p = target.Posts().back();
    ASSERT_EQ(p.offset, 0u);
    Bytes want = shortReport;
    want.resize(353, 0x00);
    EXPECT_EQ(p.copy, want);
    // Two bytes: just the code pair.
    ASSERT_TRUE(Deliver(notifier, Bytes{VendorPacket, 40}));
    EXPECT_EQ(target.Posts().back().copy, (Bytes{VendorPacket, 40, 0, 0, 0, 0}));
}

TEST(Reports, RingWrapsWithoutACopyCrossingTheEnd) {
    Notifier notifier;
    Recorder target(notifier);
    notifier.SetTarget(&target);
    // 1000 five-byte reports end exactly at 5000: the last fits, the next starts over at 0.
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(Deliver(notifier, ReportPacket(4, 5, 0x01)));
    }
    EXPECT_EQ(target.Last().offset, kReportRingSize - 5);
    EXPECT_EQ(notifier.WritePosition(), kReportRingSize);
    ASSERT_TRUE(Deliver(notifier, ReportPacket(4, 5, 0x02)));
    EXPECT_EQ(target.Last().offset, 0u);

    // A mixed stream: every copy lies inside the ring and lands where the rule puts it.
    size_t position = 5;
    uint32_t seed = 7;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const Report r = kReports[(seed >> 16) % std::size(kReports)];
        ASSERT_TRUE(Deliver(notifier, ReportPacket(r.code, r.size, static_cast<uint8_t>(i))));
        const size_t expected = position + r.size > kReportRingSize ? 0 : position;
        const auto p = target.Last();
        ASSERT_EQ(p.offset, expected) << i;
        ASSERT_LE(p.offset + r.size, kReportRingSize);
        ASSERT_EQ(p.copy[3], static_cast<uint8_t>(i));
        position = expected + r.size;
    }
}

TEST(Reports, WithoutATargetTheRingStillAdvances) {
    Notifier notifier;
    EXPECT_TRUE(Deliver(notifier, ReportPacket(7, 40, 0x01)));
    EXPECT_TRUE(Deliver(notifier, ReportPacket(9, 261, 0x02)));
    EXPECT_EQ(notifier.WritePosition(), 301u);
    EXPECT_EQ(notifier.Ring()[40], VendorPacket);
    EXPECT_EQ(notifier.Ring()[41], 9);

    // A target set later sees only what comes after, at the continued position.
    Recorder target(notifier);
    notifier.SetTarget(&target);
    EXPECT_TRUE(Deliver(notifier, ReportPacket(40, 6, 0x03)));
    ASSERT_EQ(target.Posts().size(), 1u);
    EXPECT_EQ(target.Posts()[0].offset, 301u);
    notifier.SetTarget(nullptr);
    EXPECT_TRUE(Deliver(notifier, ReportPacket(40, 6, 0x04)));
    EXPECT_EQ(target.Posts().size(), 1u);
    EXPECT_EQ(notifier.WritePosition(), 313u);
}

// A target whose post() blocks until the test releases it.
class BlockingTarget final : public IModemNotifyTarget {
  public:
    void post(uint32_t, uintptr_t, intptr_t) override {
        std::unique_lock lk(mutex_);
        entered_ = true;
        cv_.notify_all();
        cv_.wait(lk, [this] { return released_; });
        finished_.store(true);
    }
    bool WaitEntered() {
        std::unique_lock lk(mutex_);
        return cv_.wait_for(lk, 5s, [this] { return entered_; });
    }
    void Release() {
        std::lock_guard lk(mutex_);
        released_ = true;
        cv_.notify_all();
    }
    std::atomic<bool> finished_{false};

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool entered_ = false;
    bool released_ = false;
};

TEST(Reports, SetTargetWaitsForAPostInProgress) {
    Notifier notifier;
    BlockingTarget blocking;
    notifier.SetTarget(&blocking);
    std::thread reader([&] { Deliver(notifier, ReportPacket(4, 5, 0x01)); });
    ASSERT_TRUE(blocking.WaitEntered());

    std::atomic<bool> replaced{false};
    std::thread app([&] {
        notifier.SetTarget(nullptr);
        replaced.store(true);
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(replaced.load()) << "SetTarget returned while post() was still running";
    blocking.Release();
    app.join();
    reader.join();
    EXPECT_TRUE(replaced.load());
    EXPECT_TRUE(blocking.finished_.load());
}

// --- Through the engine
// -------------------------------------------------------------------------------------

TEST(ReportsThroughTheEngine, PostedButNeverReleasingAWaitingSender) {
    platform::FakeClock clock(0, 20ms);
    Engine engine(clock);
    Notifier notifier;
    Recorder target(notifier);
    notifier.SetTarget(&target);
    engine.SetUnsolicitedHandler(&notifier);
    transport::MemoryTransport link(engine);
    engine.SetTransport(&link);
    engine.NetworkMode.store(1);

    // A request whose reply code is the vendor packet's own, so only the report rule keeps it waiting.
    engine.BuildRequest(VendorPacket);
    ASSERT_TRUE(engine.SendBuilt());
    clock.At(100, [&] {
        // Short on the wire: the receive buffer behind it holds the longer frame before it.
        link.Deliver(testsupport::Framed(ReportPacket(17, 353, 0xAB)));
        link.Deliver(testsupport::Framed(ReportPacket(17, 20, 0xCD)));
    });
    EXPECT_EQ(engine.WaitReply(1000), 0);
    EXPECT_EQ(engine.ReplyAwaited.load(), 1);
    const auto posts = target.Posts();
    ASSERT_EQ(posts.size(), 2u);
    Bytes want = ReportPacket(17, 20, 0xCD);
    want.resize(353, 0);
    EXPECT_EQ(posts[1].copy, want);

    // A vendor packet that is not a report is an ordinary reply.
    engine.BuildRequest(VendorPacket);
    ASSERT_TRUE(engine.SendBuilt());
    link.Deliver(testsupport::Framed(ReportPacket(8, 10, 0x00)));
    EXPECT_EQ(engine.WaitReply(1000), 1);
    EXPECT_EQ(target.Posts().size(), 2u);
}

}  // namespace
}  // namespace velmo::protocol
