// Conversions between NV items and the parameter values an operator types: the parameter-code table and the
// MIN / IMSI digit encodings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velmo::service {

inline constexpr uint16_t kNoItem = 0x7FFF;
inline constexpr size_t kItemDataSize = 128;
inline constexpr size_t kParameterValueOffset = 5;
inline constexpr size_t kParameterValueSize = 126;

// Item that holds the parameter code; 0x7FFF for a code without one.
uint16_t ParameterItem(int32_t code);

// Three-digit group: 100·d1 + 10·d2 + d3 − 111 with digit 0 counting as 10. nullopt unless text is three
// digits.
std::optional<uint16_t> EncodeGroup3(const std::string& digits);
std::optional<uint8_t> EncodeGroup2(const std::string& digits);
// MIN1 from seven digits: group, single digit, group in bits 23..0.
std::optional<uint32_t> EncodeMin1(const std::string& digits);

// Decoded digits; empty when the stored value is out of the group's range.
std::string DecodeGroup3(uint32_t stored);
std::string DecodeGroup2(uint32_t stored);
std::string DecodeDigit(uint32_t stored);
std::string DecodeMin1(uint32_t stored);

// Builds the 131-byte read reply of a parameter from the item's unpacked data.
void BuildParameterReply(int32_t code, const uint8_t* itemData, uint8_t* out131);

// Fills the 128 item data bytes to write for a parameter record's value (126 bytes). False when the value is
// malformed (nothing is to be sent).
bool BuildParameterWrite(int32_t code, const uint8_t* value, uint8_t* data128);

}  // namespace velmo::service
