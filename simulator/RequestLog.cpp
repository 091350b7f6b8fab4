#include "RequestLog.h"

#include <algorithm>
#include <cstddef>

#include "DeviceState.h"
#include "ModemSimulator.h"
#include "library/protocol/CommandTable.h"
#include "wire/LeCursor.h"

namespace velmo::sim {

namespace {

using protocol::NvReadRequest;
using protocol::NvWriteRequest;
using protocol::Request60;
using protocol::SpcRequest;
// A request that carries personal data: its bytes from `from` to the end are personal.
struct PersonalField {
    enum class Key : uint8_t {
        Code,        // every request of the code
        NvItem,      // an NV request for item `value` (bytes 1-2)
        Subcommand,  // a request-60 command `value` (byte 2)
    };
    uint8_t code;
    Key key;
    uint16_t value;
    size_t from;
    const char* what;
};
using Key = PersonalField::Key;

constexpr size_t kNvData = 3;   // code, item (2), data
constexpr size_t kR60Args = 3;  // code, version, command, arguments

// NV reads are listed with the writes: a read request carries no secret, but its data field is the same
// item's and is masked alike, so a caller cannot leak one by filling it.
constexpr PersonalField kPersonalFields[] = {
    {SpcRequest, Key::Code, 0, 1, "service programming code (verify)"},
    {NvWriteRequest, Key::NvItem, NvSpc, kNvData, "service programming code (change)"},
    {NvReadRequest, Key::NvItem, NvSpc, kNvData, "service programming code"},
    {NvWriteRequest, Key::NvItem, NvAKey, kNvData, "A-key"},
    {NvReadRequest, Key::NvItem, NvAKey, kNvData, "A-key"},
    {NvWriteRequest, Key::NvItem, NvChapPassword, kNvData, "CHAP password"},
    {NvReadRequest, Key::NvItem, NvChapPassword, kNvData, "CHAP password"},
    {Request60, Key::Subcommand, 36, kR60Args, "card: PIN (verify)"},
    {Request60, Key::Subcommand, 37, kR60Args + 1, "card: PIN (PIN request on/off; the flag stays)"},
    {Request60, Key::Subcommand, 38, kR60Args, "card: old and new PIN"},
    {Request60, Key::Subcommand, 40, kR60Args, "card: PUK and new PIN"},
    {Request60, Key::Subcommand, 50, kR60Args, "short message: number and text"},
};

// The first personal byte of the request; its size when nothing of it is personal.
size_t PersonalFrom(std::span<const uint8_t> packet) {
    if (packet.empty()) {
        return 0;
    }
    for (const PersonalField& f : kPersonalFields) {
        if (packet[0] != f.code) {
            continue;
        }
        const bool hit = f.key == Key::Code ||
                         (f.key == Key::NvItem && packet.size() >= 3 && wire::Get16(packet, 1) == f.value) ||
                         (f.key == Key::Subcommand && packet.size() >= 3 && packet[2] == f.value);
        if (hit) {
            return std::min(f.from, packet.size());
        }
    }
    return packet.size();
}

}  // namespace

std::string MaskedRequest(std::span<const uint8_t> packet) {
    const size_t from = PersonalFrom(packet);
    std::string text = HexString(packet.first(from));
    for (size_t i = from; i < packet.size(); ++i) {
        text += text.empty() ? "**" : " **";
    }
    return text;
}

}  // namespace velmo::sim
