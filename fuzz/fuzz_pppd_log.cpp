// pppd's log lines. Input: any bytes, parsed as one line and as a stream cut at newlines the way the dialling
// session reads pppd's log (lines of at most 1024 bytes, the rest of a longer one dropped). Checked for every
// line: no event means no value; an event comes from a pattern of that event that matches the line (whole,
// without pppd's name in front, or without a server's message after ": ") and the value is that pattern's
// first placeholder text; trailing blanks and line ends change nothing. Each pattern filled with text from
// the input must give its own event and value back.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "platform/dialup/PppdLog.h"

using namespace velmo::dialup;

namespace {

constexpr size_t kMaxLogLine = 1024;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool HasPlaceholder(std::string_view format) {
    return format.find('%') != std::string_view::npos;
}

// The texts ParsePppdLine tries: the trimmed line, the part after "name: " and the part before ": ".
bool MatchesSomeCandidate(const PppdPattern& p, std::string_view line, const std::string& value) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) {
        line.remove_suffix(1);
    }
    std::string_view candidates[3] = {line, {}, {}};
    const size_t colon = line.find(": ");
    if (colon != std::string_view::npos && colon > 0) {
        candidates[1] = line.substr(colon + 2);
        candidates[2] = line.substr(0, colon);
    }
    for (std::string_view c : candidates) {
        std::string captured;
        if (!c.empty() && MatchPppdFormat(p.format, c, &captured) && captured == value) {
            return true;
        }
    }
    return false;
}

void CheckLine(std::string_view line) {
    const PppdLogLine parsed = ParsePppdLine(line);
    if (parsed.event == PppdEvent::None) {
        Check(parsed.value.empty());
    } else {
        bool found = false;
        for (const PppdPattern& p : PppdPatterns()) {
            if (p.event == parsed.event && MatchesSomeCandidate(p, line, parsed.value)) {
                found = found || HasPlaceholder(p.format) == !parsed.value.empty();
            }
        }
        Check(found);
        Check(line.find(parsed.value) != std::string_view::npos);
        if (parsed.event == PppdEvent::LocalAddress || parsed.event == PppdEvent::RemoteAddress) {
            for (char c : parsed.value) {
                Check(std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == '.' || c == ':');
            }
        }
    }
    const std::string padded = std::string(line) + " \r\n";
    const PppdLogLine again = ParsePppdLine(padded);
    Check(again.event == parsed.event && again.value == parsed.value);
}

// A placeholder's text of its kind: digits for %d, an address for %I, else the input's letters and digits
// (other characters could make another pattern match first).
std::string Fill(char kind, std::string_view input, size_t* at) {
    std::string out;
    for (; *at < input.size() && out.size() < 24; ++*at) {
        const unsigned char c = static_cast<unsigned char>(input[*at]);
        const bool fits = kind == 'd'   ? std::isdigit(c) != 0
                          : kind == 'I' ? std::isxdigit(c) != 0 || c == '.' || c == ':'
                                        : std::isalnum(c) != 0;
        if (fits) {
            out += static_cast<char>(c);
        } else if (!out.empty()) {
            break;
        }
    }
    if (out.empty()) {
        out = kind == 'd' ? "5" : kind == 'I' ? "10.0.0.1" : "ppp0";
    }
    return out;
}

void CheckPatterns(std::string_view input) {
    size_t at = 0;
    for (const PppdPattern& p : PppdPatterns()) {
        const std::string_view format = p.format;
        std::string line;
        std::string first;
        bool filled = false;
        for (size_t f = 0; f < format.size();) {
            if (format[f] != '%') {
                line += format[f++];
                continue;
            }
            char kind = 'x';
            size_t width = 2;
            if (format.substr(f, 5) == "%0.*v") {
                width = 5;
            } else if (f + 1 < format.size() && (format[f + 1] == 'd' || format[f + 1] == 'I')) {
                kind = format[f + 1];
            }
            const std::string text = Fill(kind, input, &at);
            if (!filled) {
                first = text;
                filled = true;
            }
            line += text;
            f += width;
        }
        const PppdLogLine parsed = ParsePppdLine(line);
        Check(parsed.event == p.event);
        // Two placeholders side by side may split their text another way; the event still holds.
        if (format.find("%s%s") == std::string_view::npos) {
            std::string captured;
            Check(MatchPppdFormat(format, line, &captured) && captured == first);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The whole input as one line, as long as a line can be.
    CheckLine(input.substr(0, kMaxLogLine));

    // As a stream: cut at newlines, long lines kept to their first kMaxLogLine bytes.
    std::string line;
    for (char c : input) {
        if (c == '\n') {
            CheckLine(line);
            line.clear();
        } else if (line.size() < kMaxLogLine) {
            line += c;
        }
    }
    if (!line.empty()) {
        CheckLine(line);
    }

    CheckPatterns(input);
    return 0;
}
