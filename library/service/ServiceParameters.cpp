#include "ServiceParameters.h"

#include <algorithm>
#include <cstring>

#include "wire/LeCursor.h"

namespace velmo::service {

namespace {

int DigitValue(char c) {
    return c == '0' ? 10 : c - '0';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The record's value as text: up to its first zero byte or the end of the value area.
std::string ValueText(const uint8_t* value, size_t max = kParameterValueSize) {
    const auto* text = reinterpret_cast<const char*>(value);
    return std::string(text, strnlen(text, max));
}

std::string DigitsOnly(const std::string& text) {
    std::string out;
    std::copy_if(text.begin(), text.end(), std::back_inserter(out), IsDigit);
    return out;
}

bool AllDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), IsDigit);
}

// Each decimal digit of the stored number plus one, 10 written as 0, zero-filled to width.
std::string DecodeDigits(uint32_t stored, int width) {
    std::string out(static_cast<size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i) {
        out[static_cast<size_t>(i)] = static_cast<char>('0' + (stored % 10 + 1) % 10);
        stored /= 10;
    }
    return out;
}

}  // namespace

uint16_t ParameterItem(int32_t code) {
    switch (code) {
        case 0:
            return 0;
        case 1:
        case 2:
            return 32;
        case 3:
        case 4:
            return 33;
        case 5:
        case 6:
            return 176;
        case 7:
        case 8:
            return 177;
        case 9:
        case 10:
            return 266;
        case 11:
            return 178;
        case 12:
        case 13:
            return 259;
        case 14:
            return 34;
        case 15:
            return 35;
        case 16:
            return 36;
        case 19:
            return 20;
        case 20:
            return 21;
        case 22:
            return 5;
        case 24:
            return 296;
        case 25:
            return 85;
        case 26:
            return 25;
        case 27:
            return 10;
        case 28:
            return 579;
        case 29:
            return 580;
        case 30:
            return 255;
        case 31:
            return 38;
        case 32:
            return 231;
        case 33:
            return 256;
        case 34:
            return 562;
        case 35:
            return 459;
        case 36:
            return 464;
        default:
            return kNoItem;
    }
}

std::optional<uint16_t> EncodeGroup3(const std::string& d) {
    if (d.size() != 3 || !AllDigits(d)) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(100 * DigitValue(d[0]) + 10 * DigitValue(d[1]) + DigitValue(d[2]) - 111);
}

std::optional<uint8_t> EncodeGroup2(const std::string& d) {
    if (d.size() != 2 || !AllDigits(d)) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(10 * DigitValue(d[0]) + DigitValue(d[1]) - 11);
}

std::optional<uint32_t> EncodeMin1(const std::string& d) {
    if (d.size() != 7 || !AllDigits(d)) {
        return std::nullopt;
    }
    const uint32_t first = *EncodeGroup3(d.substr(0, 3));
    const uint32_t last = *EncodeGroup3(d.substr(4, 3));
    return (first << 14) | (static_cast<uint32_t>(DigitValue(d[3])) << 10) | last;
}

std::string DecodeGroup3(uint32_t stored) {
    return stored <= 999 ? DecodeDigits(stored, 3) : std::string();
}
std::string DecodeGroup2(uint32_t stored) {
    return stored <= 99 ? DecodeDigits(stored, 2) : std::string();
}

std::string DecodeDigit(uint32_t stored) {
    if (stored >= 1 && stored <= 9) {
        return std::string(1, static_cast<char>('0' + stored));
    }
    return stored == 10 ? "0" : std::string();
}

std::string DecodeMin1(uint32_t stored) {
    if (stored == 0 || stored > 0xFFFFFF) {
        return {};
    }
    const std::string first = DecodeGroup3(stored >> 14);
    const std::string digit = DecodeDigit((stored >> 10) & 0xF);
    const std::string last = DecodeGroup3(stored & 0x3FF);
    if (first.empty() || digit.empty() || last.empty()) {
        return {};
    }
    return first + digit + last;
}

void BuildParameterReply(int32_t code, const uint8_t* item, uint8_t* out) {
    std::memset(out, 0, kParameterValueOffset + kParameterValueSize);
    out[0] = 0xE0;
    out[1] = 0x22;
    uint8_t* value = out + kParameterValueOffset;
    const wire::ConstBytes fields(item, kItemDataSize);
    auto copyFrom = [&](size_t from) {
        std::memcpy(value, item + from, std::min(kParameterValueSize, kItemDataSize - from));
    };
    auto text = [&](const std::string& digits) { std::memcpy(value, digits.data(), digits.size()); };
    switch (code) {
        case 0:
        case 22:
        case 23:
        case 24:
        case 34:
        case 35:
            copyFrom(0);
            break;
        case 1:
            text(DecodeMin1(wire::Get32(fields, 5)));
            break;
        case 3:
            text(DecodeGroup3(wire::Get16(fields, 3)));
            break;
        case 5:
            text(DecodeGroup3(wire::Get16(fields, 1)));
            break;
        case 7:
            text(DecodeGroup2(item[1]));
            break;
        case 9:
        case 11:
        case 12:
        case 14:
        case 15:
        case 16:
        case 19:
        case 20:
        case 27:
        case 30:
        case 31:
            copyFrom(1);
            break;
        case 13:
            copyFrom(3);
            break;
        case 28:
        case 29: {
            const size_t limit = code == 28 ? 64 : 14;
            const size_t length = std::min<size_t>(item[0], limit);
            std::memcpy(value, item + 1, length);
            value[length] = 0;
            break;
        }
        default:
            break;  // no read conversion: the value stays empty
    }
}

bool BuildParameterWrite(int32_t code, const uint8_t* value, uint8_t* data) {
    std::memset(data, 0, kItemDataSize);
    const wire::MutableBytes fields(data, kItemDataSize);
    const std::string text = ValueText(value);
    switch (code) {
        case 1: {
            const auto min1 = EncodeMin1(DigitsOnly(text));
            if (!min1) {
                return false;
            }
            wire::Put32(fields, 1, *min1);
            wire::Put32(fields, 5, *min1);
            return true;
        }
        case 3: {
            const auto min2 = EncodeGroup3(DigitsOnly(text));
            if (!min2) {
                return false;
            }
            wire::Put16(fields, 1, *min2);
            wire::Put16(fields, 3, *min2);
            return true;
        }
        case 5: {
            const auto mcc = EncodeGroup3(text.substr(0, 3));
            if (!mcc) {
                return false;
            }
            wire::Put16(fields, 1, *mcc);
            return true;
        }
        case 7: {
            const auto imsi = EncodeGroup2(text.substr(0, 2));
            if (!imsi) {
                return false;
            }
            data[1] = *imsi;
            return true;
        }
        case 11: {
            const std::string number = text.substr(0, 10);
            if (number.size() != 10 || !AllDigits(number)) {
                return false;
            }
            std::memcpy(data + 1, number.data(), 10);
            return true;
        }
        case 12:
        case 13:
        case 19:
        case 20:
        case 30:
        case 31:
            std::memcpy(data + 1, value, 4);
            return true;
        case 14:
        case 15:
        case 16:
            data[1] = value[0];
            return true;
        case 22:
        case 24:
        case 34:
        case 36:
            data[0] = value[0];
            return true;
        case 25:
            std::memcpy(data, value, 6);
            return true;
        case 26: {
            const std::string digits = text.substr(0, 20);
            if (digits.empty() || !AllDigits(digits)) {
                return false;
            }
            uint64_t key = 0;
            for (char c : digits) {
                const uint64_t d = static_cast<uint64_t>(c - '0');
                if (key > (UINT64_MAX - d) / 10) {
                    return false;  // above 2^64 - 1
                }
                key = key * 10 + d;
            }
            wire::Put64(fields, 1, key);
            return true;
        }
        case 27:
            std::memcpy(data + 1, value, 4);
            return true;
        case 28:
        case 29: {
            const size_t limit = code == 28 ? 64 : 14;
            const size_t length = strnlen(reinterpret_cast<const char*>(value), limit);
            data[0] = static_cast<uint8_t>(length);
            std::memcpy(data + 1, value, length);
            return true;
        }
        case 33:
            data[1] = 1;
            return true;
        default:
            return true;  // code 32 and codes without a conversion write zero data
    }
}

}  // namespace velmo::service
