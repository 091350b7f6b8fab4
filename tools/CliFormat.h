// Output helpers of velmo-cli: names of status values and a minimal JSON object writer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace velmo::tools {

inline const char* RfModeName(unsigned v) {
    static const char* const kNames[] = {"Analog", "Cellular", "PCN", "Sleep", "GPS", "HDR"};
    return v < 6 ? kNames[v] : "";
}

inline const char* SystemStateName(unsigned v) {
    switch (v) {
        case 0:
            return "power-down";
        case 3:
            return "offline analog";
        case 4:
            return "offline digital";
        case 5:
            return "online digital";
        case 7:
            return "reset";
        default:
            return "";
    }
}

// The network kind of the status record; without service there is no network whatever the value.
inline const char* NetworkKindName(unsigned v, bool inService) {
    if (!inService) {
        return "none";
    }
    switch (v) {
        case 10:
            return "EV-DO";
        case 9:
            return "1xRTT";
        default:
            return "1xRTT and EV-DO";
    }
}

inline const char* RoamName(unsigned v) {
    switch (v) {
        case 0:
            return "off";
        case 1:
            return "on";
        case 2:
            return "flashing";
        default:
            return "";
    }
}

class Json {
  public:
    Json& Num(const char* key, long long v) { return Raw(key, std::to_string(v)); }
    Json& Bool(const char* key, bool v) { return Raw(key, v ? "true" : "false"); }
    Json& Str(const char* key, const std::string& v) { return Raw(key, Quote(v)); }
    Json& Raw(const char* key, const std::string& v) {
        text_ += (text_.empty() ? "{" : ",") + Quote(key) + ":" + v;
        return *this;
    }
    std::string Text() const { return text_.empty() ? "{}" : text_ + "}"; }

    static std::string Quote(const std::string& v) {
        std::string q = "\"";
        for (unsigned char c : v) {
            if (c == '"' || c == '\\') {
                q += '\\';
                q += static_cast<char>(c);
            } else if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                q += buf;
            } else {
                q += static_cast<char>(c);
            }
        }
        return q + "\"";
    }

  private:
    std::string text_;
};

}  // namespace velmo::tools
