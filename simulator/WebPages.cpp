#include "WebPages.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdio>

namespace velmo::sim {

namespace {

constexpr size_t kMaxNameLength = 32;

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 431:
            return "Request Header Fields Too Large";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Error";
    }
}

bool IsTokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsTargetChar(char c) {
    return c > 0x20 && c < 0x7F;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsIpv4(const std::string& text) {
    in_addr a{};
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

bool IsNetmask(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return false;
    }
    const uint32_t inverted = ~ntohl(a.s_addr);
    return (inverted & (inverted + 1)) == 0;  // ones, then only zeros
}

bool IsPrintable(std::string_view text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return false;
        }
    }
    return true;
}

std::string Page(std::string_view title, std::string_view body) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    html += HtmlEscape(title);
    html +=
        "</title>\n<style>\n"
        "body{font-family:sans-serif;margin:1.5em;color:#222}\n"
        "h1{font-size:1.3em;border-bottom:2px solid #467;padding-bottom:.2em}\n"
        "h2{font-size:1.05em;margin-top:1.4em;color:#467}\n"
        "th{text-align:left;padding-right:1.5em;font-weight:normal;color:#555}\n"
        "nav a{margin-right:1em}\n"
        ".notice{background:#eef4e8;padding:.4em}\n.problem{background:#f8e6e6;padding:.4em}\n"
        "</style>\n</head>\n<body>\n";
    html += body;
    html += "</body>\n</html>\n";
    return html;
}

std::string Row(std::string_view id, std::string_view label, std::string_view value) {
    std::string row = "<tr><th>";
    row += HtmlEscape(label);
    row += "</th><td id=\"";
    row += id;
    row += "\">";
    row += HtmlEscape(value);
    row += "</td></tr>\n";
    return row;
}

std::string Navigation(std::string_view current) {
    std::string nav = "<nav>";
    nav += current == "/" ? "<b>Status</b>" : "<a href=\"/\">Status</a>";
    nav += current == "/settings" ? " <b>Settings</b>" : " <a href=\"/settings\">Settings</a>";
    nav += "</nav>\n";
    return nav;
}

std::string StatusPage(const UnitView& v) {
    const DeviceState& s = v.state;
    char esn[16];
    std::snprintf(esn, sizeof esn, "%08X", s.esn);
    std::string body = "<h1>" + HtmlEscape(v.settings.name) + "</h1>\n" + Navigation("/");
    body += "<h2>Unit</h2>\n<table>\n";
    body += Row("address", "Address", v.address);
    body += Row("discovery-port", "Discovery port (UDP)", std::to_string(v.discoveryPort));
    body += Row("data-port", "Data port (TCP)", std::to_string(v.dataPort));
    body += Row("host", "Connected host", v.session.empty() ? "none" : v.session);
    body += Row("fault", "Fault mode", v.fault);
    body += "</table>\n<h2>Modem</h2>\n<table>\n";
    body += Row("esn", "ESN", esn);
    body += Row("sid", "SID", std::to_string(s.sid));
    body += Row("nid", "NID", std::to_string(s.nid));
    body += Row("channel", "Channel", std::to_string(s.channel));
    body += Row("pilot-pn", "Pilot PN", std::to_string(s.pilotPn));
    body += Row("rssi", "Signal", "-" + std::to_string(s.rssi1x) + " dBm");
    body += Row("mode", "Operating mode", s.operatingMode);
    body += Row("software", "Software", s.softwareRevision);
    body +=
        "</table>\n<h2>Manager</h2>\n<p>These links ask the program showing this page to act; an ordinary "
        "browser cannot follow them.</p>\n<ul>\n"
        "<li><a id=\"minimise\" href=\"app:Minimise\">Minimise the manager</a></li>\n"
        "<li><a id=\"beep\" href=\"APP:Beep\">Beep</a></li>\n"
        "<li><a id=\"beep-lower\" href=\"app:beep\">beep (an unknown command: the name is case-sensitive)</a>"
        "</li>\n"
        "<li><a id=\"empty\" href=\"app:\">No command at all</a></li>\n"
        "</ul>\n";
    return Page(v.settings.name + " status", body);
}

std::string Field(std::string_view name, std::string_view label, std::string_view value) {
    std::string f = "<tr><th><label for=\"";
    f += name;
    f += "\">";
    f += HtmlEscape(label);
    f += "</label></th><td><input id=\"";
    f += name;
    f += "\" name=\"";
    f += name;
    f += "\" value=\"";
    f += HtmlEscape(value);
    f += "\"></td></tr>\n";
    return f;
}

// The heading names the unit as saved; the fields show s, which may be values just refused.
std::string SettingsPage(std::string_view unitName, const UnitSettings& s, std::string_view notice,
                         bool problem) {
    std::string body = "<h1>" + HtmlEscape(unitName) + " settings</h1>\n" + Navigation("/settings");
    if (!notice.empty()) {
        body += problem ? "<p id=\"notice\" class=\"problem\">" : "<p id=\"notice\" class=\"notice\">";
        body += HtmlEscape(notice);
        body += "</p>\n";
    }
    body += "<form method=\"get\" action=\"/settings\">\n<table>\n";
    body += Field("name", "Unit name", s.name);
    body += Field("address", "IP address", s.address);
    body += Field("netmask", "Netmask", s.netmask);
    body += Field("gateway", "Gateway", s.gateway);
    body += Field("port", "Data port", s.dataPort == 0 ? "" : std::to_string(s.dataPort));
    body +=
        "<tr><th><label for=\"dhcp\">Address from DHCP</label></th><td><input type=\"checkbox\" id=\"dhcp\" "
        "name=\"dhcp\"";
    body += s.dhcp ? " checked" : "";
    body += "></td></tr>\n</table>\n<p><input type=\"submit\" name=\"save\" value=\"Save\"></p>\n</form>\n";
    body +=
        "<p>Saved values are kept until the unit stops; it goes on serving on the address and ports it "
        "started "
        "with.</p>\n";
    return Page(std::string(unitName) + " settings", body);
}

HttpResult Settings(const HttpRequest& request, const UnitView& view) {
    const std::map<std::string, std::string> q = ParseQuery(request.query);
    if (q.count("save") == 0) {
        return {
            {200, "text/html; charset=utf-8", SettingsPage(view.settings.name, view.settings, "", false), {}},
            std::nullopt};
    }
    auto value = [&](const char* name) {
        const auto it = q.find(name);
        return it == q.end() ? std::string() : it->second;
    };
    UnitSettings s;
    s.name = value("name");
    s.address = value("address");
    s.netmask = value("netmask");
    s.gateway = value("gateway");
    s.dhcp = q.count("dhcp") != 0;
    std::string problems;
    auto problem = [&](std::string_view text) {
        problems += problems.empty() ? "" : " ";
        problems += text;
    };
    if (s.name.empty() || s.name.size() > kMaxNameLength || !IsPrintable(s.name)) {
        problem("The unit name takes 1 to 32 printable characters.");
    }
    if (!IsIpv4(s.address)) {
        problem("The IP address is not an IPv4 address.");
    }
    if (!IsNetmask(s.netmask)) {
        problem("The netmask is not a valid mask.");
    }
    if (!s.gateway.empty() && !IsIpv4(s.gateway)) {
        problem("The gateway is not an IPv4 address.");
    }
    const std::string port = value("port");
    unsigned long number = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || number < 1 ||
        number > 65535) {
        problem("The data port takes a number from 1 to 65535.");
    } else {
        s.dataPort = static_cast<uint16_t>(number);
    }
    if (!problems.empty()) {
        // Show what was typed, so that it can be corrected.
        return {{200,
                 "text/html; charset=utf-8",
                 SettingsPage(view.settings.name, s, "Not saved. " + problems, true),
                 {}},
                std::nullopt};
    }
    return {{200, "text/html; charset=utf-8", SettingsPage(s.name, s, "Saved.", false), {}}, s};
}

}  // namespace

HeadResult ParseRequestHead(std::string_view data, HttpRequest* request) {
    const size_t end = data.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        // Junk is refused as soon as its first line shows it, not after the whole limit has arrived.
        const size_t firstLine = data.find("\r\n");
        const std::string_view line = data.substr(0, firstLine);
        for (const char c : line) {
            if (c != ' ' && !IsTargetChar(c)) {
                return HeadResult::Malformed;
            }
        }
        return data.size() > kMaxRequestHead ? HeadResult::TooLarge : HeadResult::Incomplete;
    }
    if (end + 4 > kMaxRequestHead) {
        return HeadResult::TooLarge;
    }
    const std::string_view head = data.substr(0, end);
    const size_t lineEnd = head.find("\r\n");
    const std::string_view line = head.substr(0, lineEnd);

    // METHOD SP TARGET SP HTTP/1.x
    const size_t sp1 = line.find(' ');
    const size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp1 == 0 || sp1 == std::string_view::npos || sp2 == std::string_view::npos || sp2 == sp1 + 1 ||
        line.find(' ', sp2 + 1) != std::string_view::npos) {
        return HeadResult::Malformed;
    }
    const std::string_view method = line.substr(0, sp1);
    const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = line.substr(sp2 + 1);
    for (const char c : method) {
        if (!IsTokenChar(c)) {
            return HeadResult::Malformed;
        }
    }
    for (const char c : target) {
        if (!IsTargetChar(c)) {
            return HeadResult::Malformed;
        }
    }
    if (target.front() != '/' || (version != "HTTP/1.1" && version != "HTTP/1.0")) {
        return HeadResult::Malformed;
    }

    // Header lines: a name, a colon, a value without control characters.
    std::string_view rest = lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 2);
    while (!rest.empty()) {
        const size_t next = rest.find("\r\n");
        const std::string_view header = rest.substr(0, next);
        rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 2);
        const size_t colon = header.find(':');
        if (colon == 0 || colon == std::string_view::npos) {
            return HeadResult::Malformed;
        }
        for (const char c : header.substr(0, colon)) {
            if (!IsTokenChar(c)) {
                return HeadResult::Malformed;
            }
        }
        for (const char c : header.substr(colon + 1)) {
            const auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t') || u == 0x7F) {
                return HeadResult::Malformed;
            }
        }
    }

    request->method = method;
    request->target = target;
    const size_t question = target.find('?');
    request->path = target.substr(0, question);
    request->query =
        question == std::string_view::npos ? std::string() : std::string(target.substr(question + 1));
    return HeadResult::Complete;
}

HttpResult HandleRequest(const HttpRequest& request, const UnitView& view) {
    if (request.method != "GET" && request.method != "HEAD") {
        HttpResponse r = ErrorResponse(405);
        r.headers.emplace_back("Allow", "GET, HEAD");
        return {r, std::nullopt};
    }
    if (request.path == "/" || request.path == "/index.html") {
        return {{200, "text/html; charset=utf-8", StatusPage(view), {}}, std::nullopt};
    }
    if (request.path == "/settings") {
        return Settings(request, view);
    }
    return {ErrorResponse(404), std::nullopt};
}

HttpResponse ErrorResponse(int status) {
    const std::string title = std::to_string(status) + " " + Reason(status);
    std::string body = "<h1>" + HtmlEscape(title) + "</h1>\n";
    if (status == 404) {
        body += "<p>The unit has no such page.</p>\n";
    }
    body += "<p><a href=\"/\">Unit status</a></p>\n";
    return {status, "text/html; charset=utf-8", Page(title, body), {}};
}

std::string SerializeResponse(const HttpResponse& response, bool headOnly) {
    std::string text = "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) + "\r\n";
    text += "Content-Type: " + response.contentType + "\r\n";
    text += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    text += "Cache-Control: no-store\r\nConnection: close\r\n";
    for (const auto& [name, value] : response.headers) {
        text.append(name).append(": ").append(value).append("\r\n");
    }
    text += "\r\n";
    if (!headOnly) {
        text += response.body;
    }
    return text;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::map<std::string, std::string> ParseQuery(std::string_view query) {
    std::map<std::string, std::string> values;
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty()) {
            continue;
        }
        const size_t eq = pair.find('=');
        const std::string name = PercentDecode(pair.substr(0, eq));
        const std::string value =
            eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
        values.emplace(name, value);  // keeps the first
    }
    return values;
}

}  // namespace velmo::sim
