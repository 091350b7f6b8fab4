// The command lines of the dialling dialogue (chat) and of pppd, each built in one place. Nothing secret goes
// into them: the user name and password reach pppd through BuildPppdSecrets on an inherited descriptor.
#pragma once

#include <string>
#include <vector>

#include "DialupService.h"

namespace velmo::dialup {

inline constexpr size_t kMaxPhoneNumberLength = 128;
// Descriptor on which pppd finds its secrets ("file /dev/fd/3").
inline constexpr int kSecretsFd = 3;
// Peers file that lets a user other than root dial: it carries the privileged option noauth.
inline constexpr const char* kPeersName = "velmo";
inline constexpr const char* kPeersDir = "/etc/ppp/peers";

// Keeps the characters a modem dials (digits, * # + A-D, the pause and wait modifiers , W P T ! @), drops the
// separators people write (space - . ( )). False for anything else, for an empty or an over-long number.
bool NormalizePhoneNumber(const std::string& number, std::string& out);

std::vector<std::string> BuildChatInitArgs(const std::string& chat, int timeoutSeconds);
std::vector<std::string> BuildChatDialArgs(const std::string& chat, int timeoutSeconds,
                                           const std::string& dialNumber);

struct PppdContext {
    bool root = true;              // pppd's caller is root
    bool peersFileExists = false;  // kPeersDir/kPeersName is installed
    std::string tag;               // shown by ps and handed to the ip-up scripts
};

std::vector<std::string> BuildPppdArgs(const std::string& pppd, const DialEntry& entry,
                                       const PppdContext& ctx);

// pppd options text with the user name and password (every byte but letters and digits octal-escaped, so any
// password survives pppd's option parser). Empty when there is nothing to send.
std::string BuildPppdSecrets(const DialParams& params);

}  // namespace velmo::dialup
