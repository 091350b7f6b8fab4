#include "DialCommands.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace velmo::dialup {

namespace {

void AddAborts(std::vector<std::string>& args) {
    // Each ABORT string makes chat exit with its own status (4 for the first), which ChatExitError maps.
    for (const char* abort : kChatAbortStrings) {
        args.emplace_back("ABORT");
        args.emplace_back(abort);
    }
}

std::string OctalQuoted(const std::string& text) {
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) != 0) {
            out += ch;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        }
    }
    return out + "\"";
}

}  // namespace

bool NormalizePhoneNumber(const std::string& number, std::string& out) {
    out.clear();
    for (char ch : number) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (std::strchr(" -.()", c) != nullptr) {
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) == 0 && std::strchr("*#+ABCD,WPT!@", c) == nullptr) {
            return false;
        }
        out += c;
    }
    return !out.empty() && out.size() <= kMaxPhoneNumberLength;
}

std::vector<std::string> BuildChatInitArgs(const std::string& chat, int timeoutSeconds) {
    std::vector<std::string> args{chat, "-t", std::to_string(timeoutSeconds)};
    AddAborts(args);
    // Wake the modem, reset it, and turn off the echo that would otherwise follow every command.
    for (const char* step : {"", "AT", "OK", "ATZ", "OK", "ATE0", "OK"}) {
        args.emplace_back(step);
    }
    return args;
}

std::vector<std::string> BuildChatDialArgs(const std::string& chat, int timeoutSeconds,
                                           const std::string& dialNumber) {
    std::vector<std::string> args{chat, "-t", std::to_string(timeoutSeconds)};
    AddAborts(args);
    args.emplace_back("");
    args.emplace_back("ATD" + dialNumber);
    args.emplace_back("CONNECT");
    return args;
}

std::vector<std::string> BuildPppdArgs(const std::string& pppd, const DialEntry& entry,
                                       const PppdContext& ctx) {
    std::vector<std::string> args{pppd};
    // Stay our child so that we see its log and its end, and can stop it.
    args.emplace_back("nodetach");
    // Log to the pipe we read (the tty is on stdin, so pppd would choose stdout anyway; say it).
    args.emplace_back("logfd");
    args.emplace_back("1");
    // The network does not authenticate itself to a dial-up client. noauth is privileged: a user other than
    // root gets it from the peers file root installed.
    if (ctx.root || !ctx.peersFileExists) {
        args.emplace_back("noauth");
    } else {
        args.emplace_back("call");
        args.emplace_back(kPeersName);
    }
    // The network assigns our address and name servers.
    args.emplace_back("noipdefault");
    args.emplace_back("usepeerdns");
    if ((entry.options & kOptRemoteDefaultGateway) != 0) {
        args.emplace_back("defaultroute");
    }
    // The entry lists the methods we may authenticate with; when it names none, any will do. Each method not
    // allowed is refused (never "require-...": in pppd that makes the network authenticate to us). SPAP has
    // no pppd counterpart, and the encryption bit maps to nothing: a CDMA network refuses MPPE.
    constexpr uint32_t kAnyAuth = kOptRequireEap | kOptRequirePap | kOptRequireSpap | kOptRequireChap |
                                  kOptRequireMsChap | kOptRequireMsChap2 | kOptRequireW95MsChap;
    if ((entry.options & kAnyAuth) != 0) {
        if ((entry.options & kOptRequirePap) == 0) {
            args.emplace_back("refuse-pap");
        }
        if ((entry.options & kOptRequireChap) == 0) {
            args.emplace_back("refuse-chap");
        }
        if ((entry.options & (kOptRequireMsChap | kOptRequireW95MsChap)) == 0) {
            args.emplace_back("refuse-mschap");
        }
        if ((entry.options & kOptRequireMsChap2) == 0) {
            args.emplace_back("refuse-mschap-v2");
        }
        if ((entry.options & kOptRequireEap) == 0) {
            args.emplace_back("refuse-eap");
        }
    }
    if (entry.idleDisconnectSeconds > 0) {
        args.emplace_back("idle");
        args.emplace_back(std::to_string(entry.idleDisconnectSeconds));
    }
    if (!ctx.tag.empty()) {
        // Marks the process as ours in ps, and tells ip-up scripts which connection came up.
        args.emplace_back("ipparam");
        args.emplace_back(ctx.tag);
    }
    // User name and password, read from the descriptor the child inherits.
    args.emplace_back("file");
    args.emplace_back("/dev/fd/" + std::to_string(kSecretsFd));
    return args;
}

std::string BuildPppdSecrets(const DialParams& params) {
    std::string user = params.userName;
    if (!params.domain.empty() && !user.empty()) {
        user = params.domain + "\\" + user;
    }
    std::string text;
    if (!user.empty()) {
        text += "user " + OctalQuoted(user) + "\n";
    }
    if (!params.password.empty()) {
        text += "password " + OctalQuoted(params.password) + "\n";
    }
    return text;
}

}  // namespace velmo::dialup
