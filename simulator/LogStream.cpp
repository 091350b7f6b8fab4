// Unsolicited traffic: the RF log stream, the flood fault's packets and vendor reports on demand.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <string>

#include "Answers.h"
#include "Wire.h"

namespace velmo::sim {

using namespace protocol;
using namespace wire;

namespace {

constexpr uint16_t kLogDrc = 0x1068;
constexpr uint16_t kLogRfLevels = 0x1069;
constexpr uint16_t kLogPilotSets = 0x108B;
constexpr uint8_t kLevelsValid = 0x20;
constexpr int kNoSignal = -120;
constexpr uint8_t kVendorRfReport = 40;
constexpr uint8_t kUnsolicitedReport = 0x83;
constexpr size_t kPilotEntry = 10;
constexpr size_t kPilotEntriesAt = 11;
constexpr uint16_t kBandClass1 = 1 << 11;  // above the channel bits of the channel word

int16_t Level(int dbTimes256) {
    return static_cast<int16_t>(std::clamp(dbTimes256, -125 * 256, 0));
}

bool Number(const std::string& text, uint64_t max, uint64_t* out) {
    std::string_view t = text;
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    uint64_t v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size() || v > max) {
        return false;
    }
    *out = v;
    return true;
}

std::string Join(const std::vector<std::string>& words, size_t from) {
    std::string text;
    for (size_t i = from; i < words.size(); ++i) {
        text += (i > from ? " " : "") + words[i];
    }
    return text;
}

// "YY/MM/DD HH:MM:SS" of the modem's clock, as the message report carries it.
std::string ModemTimeText(int64_t timeOffsetMs) {
    const uint64_t seconds = ModemTimeStamp(timeOffsetMs) / 32768 / 1600 + 315964800;
    const time_t t = static_cast<time_t>(seconds);
    tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", parts.tm_year % 100, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

}  // namespace

std::vector<uint8_t> FloodPacket(uint32_t sequence, uint8_t rssi1x, int64_t timeOffsetMs) {
    if (sequence % 2 != 0) {
        std::vector<uint8_t> p = Packet(VendorPacket, 8);
        p[1] = kVendorRfReport;
        Put32(p, 2, sequence);
        Put16(p, 6, rssi1x);
        return p;
    }
    std::vector<uint8_t> payload(24, 0);
    payload[13] = kLevelsValid;
    const int level = -static_cast<int>(rssi1x);
    Put16(payload, 16, static_cast<uint16_t>((level - 2) * 256));
    Put16(payload, 18, static_cast<uint16_t>((level - 5) * 256));
    Put16(payload, 20, static_cast<uint16_t>(-12 * 256));
    Put16(payload, 22, static_cast<uint16_t>((level + 3) * 256));
    return LogPacket(kLogRfLevels, payload, timeOffsetMs);
}

LogStream::LogStream(uint32_t seed) : rng_(seed) {}

int LogStream::Wander(int& value, int step, int limit) {
    std::uniform_int_distribution<int> d(-step, step);
    value = std::clamp(value + d(rng_), -limit, limit);
    return value;
}

std::vector<std::vector<uint8_t>> LogStream::Tick(const DeviceState& s) {
    ++ticks_;
    const int base = -static_cast<int>(s.rssiEvdo) * 256;
    const int drift = Wander(levelDrift_, 192, 3 * 256);  // within 3 dB of the state's level
    std::uniform_int_distribution<int> jitter(-128, 128);
    std::vector<std::vector<uint8_t>> packets;

    // DRC: the requested rate follows the signal, 0 to 12 in the upper nibble of payload byte 96.
    std::vector<uint8_t> drc(100, 0);
    const int quality = std::clamp((125 * 256 + base + drift) / (5 * 256), 0, 12);
    drc[96] = static_cast<uint8_t>(quality << 4 | (ticks_ & 0x0F));
    packets.push_back(LogPacket(kLogDrc, drc, s.timeOffsetMs));

    // Levels: three receive chains a little below the combined receive level at word 22.
    std::vector<uint8_t> levels(24, 0);
    levels[13] = kLevelsValid;
    const int rx = base + drift;
    Put16(levels, 16, static_cast<uint16_t>(Level(rx - 256 + jitter(rng_))));
    Put16(levels, 18, static_cast<uint16_t>(Level(rx - 3 * 256 + jitter(rng_))));
    Put16(levels, 20, static_cast<uint16_t>(Level(rx - 5 * 256 + jitter(rng_))));
    Put16(levels, 22, static_cast<uint16_t>(Level(rx + jitter(rng_) / 2)));
    packets.push_back(LogPacket(kLogRfLevels, levels, s.timeOffsetMs));

    // Pilot sets: the serving pilot and one or two more active, one candidate now and then, neighbours.
    const size_t active = 1 + (ticks_ / 7) % 3;
    const size_t candidates = (ticks_ / 11) % 2;
    const size_t neighbours = 5 + (ticks_ / 5) % 4;
    const size_t entries = active + candidates + neighbours;
    std::vector<uint8_t> pilots(kPilotEntriesAt + entries * kPilotEntry, 0);
    pilots[0] = 4;  // pilot increment
    pilots[1] = static_cast<uint8_t>(active);
    Put16(pilots, 3, static_cast<uint16_t>(kBandClass1 | (s.evdoChannel & 0x7FF)));
    pilots[6] = static_cast<uint8_t>(candidates);
    pilots[8] = static_cast<uint8_t>(neighbours);
    const int pilotShift = Wander(pilotDrift_, 1, 2);
    for (size_t i = 0; i < entries; ++i) {
        const size_t at = kPilotEntriesAt + i * kPilotEntry;
        const int offset = 64 * static_cast<int>(i) + (i > 0 ? pilotShift * 4 : 0);
        const uint16_t pn = static_cast<uint16_t>((s.pilotPn + offset + 512) % 512);
        const uint16_t strength =
            static_cast<uint16_t>(std::clamp<int>(6 + 3 * static_cast<int>(i) + jitter(rng_) / 64, 0, 63));
        Put16(pilots, at, pn);
        Put16(pilots, at + 2, strength);  // Ec/Io in -0.5 dB steps
        Put16(pilots, at + 4, static_cast<uint16_t>(i < active ? 1 : 0));
    }
    packets.push_back(LogPacket(kLogPilotSets, pilots, s.timeOffsetMs));
    return packets;
}

std::vector<uint8_t> LogStream::SignalLost(const DeviceState& s) const {
    std::vector<uint8_t> levels(24, 0);
    Put16(levels, 22, static_cast<uint16_t>(kNoSignal * 256));
    return LogPacket(kLogRfLevels, levels, s.timeOffsetMs);
}

bool VendorReport(uint8_t code, const std::vector<std::string>& words, const DeviceState& s,
                  std::vector<uint8_t>* packet, std::string* error) {
    const size_t size = velmo::ReportSize(code);
    std::vector<uint8_t> p = Packet(VendorPacket, std::max<size_t>(size, 3));
    p[1] = code;
    p[2] = kUnsolicitedReport;
    uint64_t v = 0;
    auto number = [&](size_t i, uint64_t max) {
        if (i >= words.size() || !Number(words[i], max, &v)) {
            *error = "report " + std::to_string(code) + ": word " + std::to_string(i + 1) +
                     " must be a number up to " + std::to_string(max);
            return false;
        }
        return true;
    };
    const bool typed = !words.empty() && words[0] != "raw";
    switch (typed ? code : 0) {
        case 4:
        case 5:
        case 6:
        case 36:
        case 37:
            if (words.size() != 1) {
                *error = "report " + std::to_string(code) + " takes one 16-bit value";
                return false;
            }
            if (!number(0, 0xFFFF)) {
                return false;
            }
            Put16(p, 3, static_cast<uint16_t>(v));
            break;
        case 7: {
            const std::string digits = words[0].substr(0, 32);
            p[7] = static_cast<uint8_t>(digits.size());
            PutText(p, 8, digits.size(), digits);
            break;
        }
        case 9: {
            const std::string text = Join(words, 0).substr(0, 255);
            p[5] = static_cast<uint8_t>(text.size());
            PutText(p, 6, text.size(), text);
            break;
        }
        case 17: {
            if (words.size() < 2) {
                *error = "report 17 takes a message number and a text";
                return false;
            }
            if (!number(0, 0xFFFFFFFF)) {
                return false;
            }
            Put32(p, 3, static_cast<uint32_t>(v));
            const std::string from = "6195550100";
            const std::string body = Join(words, 1).substr(0, 255);
            p[12] = static_cast<uint8_t>(from.size());
            PutText(p, 13, from.size(), from);
            PutText(p, 80, 17, ModemTimeText(s.timeOffsetMs));
            p[97] = static_cast<uint8_t>(body.size());
            PutText(p, 98, body.size(), body);
            break;
        }
        case 28:
            if (words.size() != 2) {
                *error = "report 28 takes an event code and a 16-bit value";
                return false;
            }
            if (!number(0, 0xFF)) {
                return false;
            }
            p[3] = static_cast<uint8_t>(v);
            if (!number(1, 0xFFFF)) {
                return false;
            }
            Put16(p, 4, static_cast<uint16_t>(v));
            break;
        case 40:
            if (words.size() != 3) {
                *error = "report 40 takes three signal values";
                return false;
            }
            for (size_t i = 0; i < 3; ++i) {
                if (!number(i, 0xFF)) {
                    return false;
                }
                p[3 + i] = static_cast<uint8_t>(v);
            }
            break;
        default: {
            const size_t skip = !words.empty() && words[0] == "raw" ? 1 : 0;
            for (size_t i = skip; i < words.size(); ++i) {
                if (!number(i, 0xFF)) {
                    return false;
                }
                const size_t at = 3 + i - skip;
                if (at >= p.size()) {
                    if (size != 0) {
                        *error = "report " + std::to_string(code) + " has " + std::to_string(size) + " bytes";
                        return false;
                    }
                    p.push_back(0);
                }
                p[at] = static_cast<uint8_t>(v);
            }
            break;
        }
    }
    *packet = std::move(p);
    return true;
}

}  // namespace velmo::sim
