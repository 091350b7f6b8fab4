#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "library/protocol/Engine.h"
#include "library/transport/MemoryTransport.h"
#include "transport/ReferenceCodec.h"
#include "wire/LeCursor.h"

namespace velmo::protocol {
namespace {

using velmo::refcodec::Bytes;
using velmo::refcodec::RefEncode;
using velmo::refcodec::RefStuff;

// The request layouts, written out again here so that the command table is checked rather than restated.
enum class Kind { NoFields, Fields, ModeWord, Request60, Subsystem, Unsupported };
struct Layout {
    Kind kind;
    size_t from = 0;
    size_t count = 0;
};

Layout ExpectedLayout(unsigned c) {
    switch (c) {
        case 0x0F:
            return {Kind::Fields, 0, 4};
        case 0x1F:
            return {Kind::Fields, 1, 86};
        case 0x20:
            return {Kind::Fields, 0, 3};
        case 0x26:
        case 0x27:
            return {Kind::Fields, 1, 132};
        case 0x29:
            return {Kind::ModeWord};
        case 0x35:
            return {Kind::Fields, 1, 35};
        case 0x3B:
        case 0x3D:
        case 0x3E:
        case 0x41:
            return {Kind::Fields, 1, 6};
        case 0x3C:
            return {Kind::Request60};
        case 0x46:
            return {Kind::Fields, 0, 8};
        case 0x48:
            return {Kind::Fields, 1, 125};
        case 0x49:
            return {Kind::Fields, 1, 2};
        case 0x4B:
            return {Kind::Subsystem};
        case 0x5D:
            return {Kind::Fields, 1, 109};
        default:
            break;
    }
    const bool unsupported = (c >= 0x13 && c <= 0x18) || c == 0x33 || c == 0x34 || (c >= 0x37 && c <= 0x39) ||
                             c == 0x42 || c == 0x47 || c == 0x4A || c == 0x4C || c == 0x52 ||
                             (c >= 0x55 && c <= 0x5C) || (c >= 0x5E && c <= 0x7B) || c >= 0x7D;
    return {unsupported ? Kind::Unsupported : Kind::NoFields};
}

// A request buffer full of bytes that need stuffing, so every field copy is also a stuffing check.
std::vector<uint8_t> Pattern() {
    std::vector<uint8_t> p(kRequestBufferSize);
    for (size_t i = 0; i < p.size(); ++i) {
        p[i] = i % 5 == 0 ? 0x7E : i % 5 == 2 ? 0x7D : static_cast<uint8_t>(i * 31 + 1);
    }
    return p;
}

class Builder : public ::testing::Test {
  protected:
    Bytes Frame() const {
        return Bytes(engine.txFrame.bytes.begin(), engine.txFrame.bytes.begin() + engine.txFrame.length);
    }
    // The packet the builder must frame: the code, then bytes [from, from + count) of p.
    static Bytes Packet(uint8_t code, const std::vector<uint8_t>& p, size_t from, size_t count) {
        Bytes packet = {code};
        packet.insert(packet.end(), p.begin() + static_cast<long>(from),
                      p.begin() + static_cast<long>(from + count));
        return packet;
    }
    void ExpectRefused(uint8_t code, const std::vector<uint8_t>& p, size_t available) {
        EXPECT_EQ(engine.BuildRequest(code, p.data(), available), -1) << "available " << available;
        EXPECT_TRUE(engine.txFrame.overflow) << "a refused request must not be sendable";
    }

    platform::FakeClock clock;
    Engine engine{clock};
};

TEST_F(Builder, EveryCodeOfTheTable) {
    const std::vector<uint8_t> p = Pattern();
    for (unsigned c = 0; c < 256; ++c) {
        const auto code = static_cast<uint8_t>(c);
        const Layout layout = ExpectedLayout(c);
        SCOPED_TRACE("code " + std::to_string(c));
        switch (layout.kind) {
            case Kind::NoFields:
                EXPECT_EQ(engine.BuildRequest(code, p.data(), 0), 0);
                EXPECT_EQ(Frame(), RefEncode({code}));
                break;
            case Kind::Fields:
                EXPECT_EQ(engine.BuildRequest(code, p.data(), p.size()), 0);
                EXPECT_FALSE(engine.txFrame.overflow);
                EXPECT_EQ(Frame(), RefEncode(Packet(code, p, layout.from, layout.count)));
                EXPECT_EQ(engine.BuildRequest(code, p.data(), layout.from + layout.count), 0);
                EXPECT_EQ(Frame(), RefEncode(Packet(code, p, layout.from, layout.count)));
                ExpectRefused(code, p, layout.from + layout.count - 1);
                break;
            case Kind::Unsupported: {
                EXPECT_EQ(engine.BuildRequest(code, p.data(), p.size()), -1);
                EXPECT_TRUE(engine.txFrame.overflow);
                Bytes stuffedCode;
                RefStuff(code, stuffedCode);
                EXPECT_EQ(Frame(), stuffedCode);
                break;
            }
            case Kind::ModeWord:
            case Kind::Request60:
            case Kind::Subsystem:
                break;  // own tests below
        }
    }
}

TEST_F(Builder, UnsupportedEscapeCodeKeepsOnlyTheStuffedCode) {
    const std::vector<uint8_t> p = Pattern();
    EXPECT_EQ(engine.BuildRequest(0x7D, p.data(), p.size()), -1);
    EXPECT_EQ(Frame(), (Bytes{0x7D, 0x5D}));
    EXPECT_TRUE(engine.txFrame.overflow);
}

TEST_F(Builder, ModeWord) {
    std::vector<uint8_t> p(4, 0xEE);
    p[1] = 2;
    EXPECT_EQ(engine.BuildRequest(ModeRequest, p.data(), 2), 0);
    EXPECT_EQ(Frame(), (Bytes{0x29, 0x02, 0x00, 0x59, 0x6A, 0x7E}));
    p[1] = 0x7E;
    EXPECT_EQ(engine.BuildRequest(ModeRequest, p.data(), p.size()), 0);
    EXPECT_EQ(Frame(), RefEncode({0x29, 0x7E, 0x00}));
    ExpectRefused(ModeRequest, p, 1);
}

TEST_F(Builder, Request60SubCommands) {
    struct Case {
        uint8_t sub;
        size_t needs;  // bytes of the request buffer read, code slot included
    };
    const Case cases[] = {
        {0x05, 5}, {0x09, 5},    {0x33, 5}, {0x34, 5}, {0x24, 11}, {0x25, 12}, {0x26, 19}, {0x28, 19},
        {0x36, 4}, {0x32, 1084}, {0x00, 3}, {0x01, 3}, {0x06, 3},  {0x35, 3},  {0x7E, 3},  {0xFF, 3},
    };
    std::vector<uint8_t> p = Pattern();
    p[0] = 0xEE;  // the builder puts the code itself and never copies p[0]
    for (const Case& c : cases) {
        SCOPED_TRACE("sub-command " + std::to_string(c.sub));
        p[2] = c.sub;
        EXPECT_EQ(engine.BuildRequest(Request60, p.data(), c.needs), 0);
        EXPECT_EQ(Frame(), RefEncode(Packet(Request60, p, 1, c.needs - 1)));
        EXPECT_EQ(engine.BuildRequest(Request60, p.data(), p.size()), 0);
        EXPECT_EQ(Frame(), RefEncode(Packet(Request60, p, 1, c.needs - 1)));
        ExpectRefused(Request60, p, c.needs - 1);
    }
    // Too short to even name the sub-command.
    ExpectRefused(Request60, p, 2);
    ExpectRefused(Request60, p, 0);
}

TEST_F(Builder, Request60WithCountedData) {
    std::vector<uint8_t> p = Pattern();
    for (uint8_t sub : {0x07, 0x0B, 0x0D, 0x0F}) {
        for (size_t n : {0u, 3u, 300u}) {
            SCOPED_TRACE("sub-command " + std::to_string(sub) + " n " + std::to_string(n));
            p[2] = sub;
            wire::Put16(p, 5, static_cast<uint16_t>(n));
            EXPECT_EQ(engine.BuildRequest(Request60, p.data(), 7 + n), 0);
            EXPECT_EQ(Frame(), RefEncode(Packet(Request60, p, 1, 6 + n)));
            ExpectRefused(Request60, p, 6 + n);
        }
    }
    // The length bytes themselves must be there before they are believed.
    p[2] = 0x07;
    ExpectRefused(Request60, p, 6);
}

TEST_F(Builder, Request60ThatWouldOverflowIsRefused) {
    auto counted = [](size_t n, uint8_t fill) {
        std::vector<uint8_t> p(7 + n, fill);
        p[0] = Request60;
        p[1] = 0x00;
        p[2] = 0x07;
        p[3] = p[4] = 0x00;
        wire::Put16(p, 5, static_cast<uint16_t>(n));
        return p;
    };
    // The engine's own buffer full of data still fits, stuffed or not.
    for (uint8_t fill : {0x11, 0x7E}) {
        const auto p = counted(kRequestBufferSize - 7, fill);
        EXPECT_EQ(engine.BuildRequest(Request60, p.data(), p.size()), 0);
        EXPECT_EQ(Frame(), RefEncode(Packet(Request60, p, 1, p.size() - 1)));
    }
    // A caller's buffer whose data does not fit the frame: refused, not cut short on the wire.
    for (auto [n, fill] : {std::pair{3000u, 0x7E}, std::pair{4200u, 0x11}}) {
        const auto p = counted(n, static_cast<uint8_t>(fill));
        EXPECT_EQ(engine.BuildRequest(Request60, p.data(), p.size()), -1) << "n " << n;
        EXPECT_TRUE(engine.txFrame.overflow);
    }
}

TEST_F(Builder, SubsystemRequests) {
    std::vector<uint8_t> p = Pattern();
    p[0] = 0xEE;
    for (uint8_t sub : {0x05, 0x0F}) {
        p[1] = sub;
        EXPECT_EQ(engine.BuildRequest(SubsystemRequest, p.data(), 4), 0);
        EXPECT_EQ(Frame(), RefEncode(Packet(SubsystemRequest, p, 1, 3)));
        ExpectRefused(SubsystemRequest, p, 3);
    }

    p[1] = 0x13;
    p[2] = 0x00;
    EXPECT_EQ(engine.BuildRequest(SubsystemRequest, p.data(), 44), 0);
    EXPECT_EQ(Frame(), RefEncode(Packet(SubsystemRequest, p, 1, 43)));
    ExpectRefused(SubsystemRequest, p, 43);

    // File-system commands other than the greeting, and other subsystems: the frame is closed after the code.
    for (auto [sub, cmd] :
         {std::pair{0x13, 0x01}, std::pair{0x13, 0x7E}, std::pair{0x07, 0x00}, std::pair{0x00, 0x00}}) {
        SCOPED_TRACE("subsystem " + std::to_string(sub) + " command " + std::to_string(cmd));
        p[1] = static_cast<uint8_t>(sub);
        p[2] = static_cast<uint8_t>(cmd);
        EXPECT_EQ(engine.BuildRequest(SubsystemRequest, p.data(), p.size()), -1);
        EXPECT_EQ(Frame(), RefEncode({SubsystemRequest}));
    }
}

TEST_F(Builder, RefusedRequestsAreNeverSent) {
    transport::MemoryTransport link(engine);
    engine.SetTransport(&link);
    engine.request.fill(0);
    engine.request[0] = 0x7D;
    EXPECT_FALSE(engine.Transact(0x7D));
    engine.request[0] = Request60;
    engine.request[2] = 0x07;
    engine.request[5] = 0xFF;
    engine.request[6] = 0xFF;  // more data than the buffer holds
    EXPECT_FALSE(engine.Transact(Request60));
    engine.request[1] = 0x09;
    engine.request[0] = SubsystemRequest;
    EXPECT_FALSE(engine.Transact(SubsystemRequest));
    EXPECT_TRUE(link.Written().empty());
    EXPECT_EQ(engine.ReplyAwaited.load(), 0);
}

}  // namespace
}  // namespace velmo::protocol
