// The Ethernet unit's own configuration pages: request parsing, routing and the HTML. No I/O here, so the
// server loop only moves bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DeviceState.h"

namespace velmo::sim {

// A request head larger than this is refused (431) rather than buffered.
inline constexpr size_t kMaxRequestHead = 8192;

// What the unit's settings form edits. The running unit keeps its sockets; the values are only kept and
// shown.
struct UnitSettings {
    std::string name = "Ethernet unit";
    std::string address;
    std::string netmask = "255.0.0.0";
    std::string gateway;
    uint16_t dataPort = 0;
    bool dhcp = false;

    bool operator==(const UnitSettings&) const = default;
};

// Everything a page shows, gathered by the server for each request.
struct UnitView {
    DeviceState state;
    std::string address;
    uint16_t discoveryPort = 0;
    uint16_t dataPort = 0;
    uint16_t httpPort = 0;
    std::string session;  // the connected host, empty when idle
    std::string fault;
    UnitSettings settings;
};

struct HttpRequest {
    std::string method;
    std::string target;
    std::string path;
    std::string query;  // after '?', still encoded
};

enum class HeadResult { Incomplete, Complete, Malformed, TooLarge };

// Parses the request line and checks the header lines of what has arrived so far.
HeadResult ParseRequestHead(std::string_view data, HttpRequest* request);

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // beyond the standard ones
};

struct HttpResult {
    HttpResponse response;
    std::optional<UnitSettings> saved;  // set when the settings form was submitted with valid values
};

// Routes one parsed request: GET and HEAD on "/", "/index.html" and "/settings".
HttpResult HandleRequest(const HttpRequest& request, const UnitView& view);
// A small page for an error status.
HttpResponse ErrorResponse(int status);
// Status line, headers (always "Connection: close") and, unless headOnly, the body.
std::string SerializeResponse(const HttpResponse& response, bool headOnly);

std::string HtmlEscape(std::string_view text);
// "a=1&b=x+y%21" -> {a: "1", b: "x y!"}; the first of repeated names wins.
std::map<std::string, std::string> ParseQuery(std::string_view query);

}  // namespace velmo::sim
