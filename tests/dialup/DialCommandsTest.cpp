#include "platform/dialup/DialCommands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/dialup/DialErrors.h"

namespace velmo::dialup {
namespace {

using Args = std::vector<std::string>;

Args Refusals(uint32_t options) {
    DialEntry entry;
    entry.options = options;
    Args refused;
    for (const std::string& a : BuildPppdArgs("/usr/sbin/pppd", entry, PppdContext{})) {
        if (a.rfind("refuse-", 0) == 0) {
            refused.push_back(a);
        }
        EXPECT_NE(a.rfind("require-", 0), 0u) << "pppd's require-... makes the network authenticate to us";
    }
    return refused;
}

// The option words of the five fixed authentication edits, and of an entry that names no method.
TEST(DialCommands, AuthenticationOptionsRefuseWhatIsNotAllowed) {
    EXPECT_EQ(Refusals(0x00000010), Args{});              // no method named: any will do
    EXPECT_EQ(Refusals(0x7D2C0218), Args{"refuse-eap"});  // every kind but EAP
    EXPECT_EQ(Refusals(0x7D2C1218), Args{"refuse-eap"});  // encryption bit maps to nothing
    EXPECT_EQ(Refusals(0x0D200218), (Args{"refuse-pap", "refuse-mschap", "refuse-mschap-v2", "refuse-eap"}));
    EXPECT_EQ(Refusals(0x05240218), (Args{"refuse-chap", "refuse-mschap", "refuse-mschap-v2", "refuse-eap"}));
    EXPECT_EQ(Refusals(0x0D240218), (Args{"refuse-mschap", "refuse-mschap-v2", "refuse-eap"}));
    // SPAP alone has no pppd counterpart: everything pppd knows is refused.
    EXPECT_EQ(Refusals(0x00080000),
              (Args{"refuse-pap", "refuse-chap", "refuse-mschap", "refuse-mschap-v2", "refuse-eap"}));
    // The old MS-CHAP bit allows MS-CHAP too.
    EXPECT_EQ(Refusals(0x40000000), (Args{"refuse-pap", "refuse-chap", "refuse-mschap-v2", "refuse-eap"}));
}

TEST(DialCommands, PppdArgumentsFollowTheEntryAndTheCaller) {
    DialEntry entry;
    entry.options = 0x10;
    entry.idleDisconnectSeconds = 300;
    const Args root = BuildPppdArgs("/usr/sbin/pppd", entry, PppdContext{true, true, "velmo-7"});
    const Args expected{"/usr/sbin/pppd", "nodetach",   "logfd",        "1",        "noauth",
                        "noipdefault",    "usepeerdns", "defaultroute", "idle",     "300",
                        "ipparam",        "velmo-7",    "file",         "/dev/fd/3"};
    EXPECT_EQ(root, expected);

    // Not root: noauth only through the peers file, when it is there.
    entry.options = 0;
    entry.idleDisconnectSeconds = -1;
    const Args user = BuildPppdArgs("pppd", entry, PppdContext{false, true, ""});
    EXPECT_EQ(std::count(user.begin(), user.end(), "noauth"), 0);
    const Args call{"call", "velmo"};
    EXPECT_NE(std::search(user.begin(), user.end(), call.begin(), call.end()), user.end());
    EXPECT_EQ(std::count(user.begin(), user.end(), "defaultroute"), 0);
    EXPECT_EQ(std::count(user.begin(), user.end(), "idle"), 0);
    const Args noPeers = BuildPppdArgs("pppd", entry, PppdContext{false, false, ""});
    EXPECT_EQ(std::count(noPeers.begin(), noPeers.end(), "noauth"), 1);
}

// Whatever the password holds reaches pppd intact; pppd's option parser reads \ooo escapes.
TEST(DialCommands, SecretsAreEscapedForPppd) {
    DialParams p;
    p.userName = "bob";
    p.password = "a\"b \\c\nd";
    EXPECT_EQ(BuildPppdSecrets(p), "user \"bob\"\npassword \"a\\042b\\040\\134c\\012d\"\n");
    p.domain = "CORP";
    p.password.clear();
    EXPECT_EQ(BuildPppdSecrets(p), "user \"CORP\\134bob\"\n");
    EXPECT_EQ(BuildPppdSecrets(DialParams{}), "");
}

TEST(DialCommands, PhoneNumbersKeepDialCharactersOnly) {
    std::string out;
    EXPECT_TRUE(NormalizePhoneNumber("#777", out));
    EXPECT_EQ(out, "#777");
    EXPECT_TRUE(NormalizePhoneNumber("+48 (22) 555-01.23,w*99#", out));
    EXPECT_EQ(out, "+48225550123,W*99#");
    // chat would read a backslash or a caret as its own escapes, and ';' ends the dial command.
    for (const char* bad : {"12\\c", "12^M", "12;", "ATH", "", " - ", "1\n2"}) {
        EXPECT_FALSE(NormalizePhoneNumber(bad, out)) << bad;
    }
    EXPECT_TRUE(NormalizePhoneNumber(std::string(128, '1'), out));
    EXPECT_FALSE(NormalizePhoneNumber(std::string(129, '1'), out));
}

TEST(DialCommands, ChatDialogueHasDistinctAborts) {
    const Args dial = BuildChatDialArgs("/usr/sbin/chat", 45, "#777");
    const Args expected{"/usr/sbin/chat", "-t",    "45",        "ABORT",  "BUSY",        "ABORT",
                        "NO CARRIER",     "ABORT", "NO ANSWER", "ABORT",  "NO DIALTONE", "ABORT",
                        "ERROR",          "",      "ATD#777",   "CONNECT"};
    EXPECT_EQ(dial, expected);
    // chat numbers the ABORT strings from exit status 4 in the order given.
    EXPECT_EQ(ChatExitError(ChatStage::Dial, 4), kErrorLineBusy);
    EXPECT_EQ(ChatExitError(ChatStage::Dial, 5), kErrorNoCarrier);
    EXPECT_EQ(ChatExitError(ChatStage::Dial, 6), kErrorNoAnswer);
    EXPECT_EQ(ChatExitError(ChatStage::Dial, 7), kErrorNoDialtone);
    EXPECT_EQ(ChatExitError(ChatStage::Dial, 8), kErrorFromDevice);
    EXPECT_EQ(ChatExitError(ChatStage::Dial, 3), kErrorRequestTimeout);
    EXPECT_EQ(ChatExitError(ChatStage::Init, 3), kErrorPortOrDevice);
}

TEST(DialErrors, PppdEndsMapToErrors) {
    EXPECT_EQ(PppdExitError({5, true, true, false}), kErrorOk);  // our hang-up
    EXPECT_EQ(PppdExitError({5, false, true, false}), kErrorUserDisconnection);
    EXPECT_EQ(PppdExitError({4, false, false, false}), kErrorServiceCannotStart);
    EXPECT_EQ(PppdExitError({2, false, false, true}), kErrorAccessDenied);
    EXPECT_EQ(PppdExitError({2, false, false, false}), kErrorWrongInfo);
    EXPECT_EQ(PppdExitError({19, false, false, false}), kErrorAuthenticationFailure);
    EXPECT_EQ(PppdExitError({16, false, true, false}), kErrorPortDisconnected);
    EXPECT_EQ(PppdExitError({0, false, true, false}), kErrorOk);
    EXPECT_EQ(PppdExitError({0, false, false, false}), kErrorRemoteDisconnection);
    // Every number the service gives has its own text.
    for (int e : {2,   5,   6,   123, 183, 604, 617, 619, 623, 624, 628, 629, 631,
                  633, 638, 651, 676, 678, 679, 680, 691, 692, 711, 720, 737, 756}) {
        EXPECT_EQ(DialErrorText(e).find("Unknown"), std::string::npos) << e;
    }
    EXPECT_NE(DialErrorText(711).find("/dev/ppp"), std::string::npos);
    EXPECT_NE(DialErrorText(5).find("dip"), std::string::npos);
    EXPECT_EQ(DialErrorText(4242), "Unknown dial-up error 4242.");
}

}  // namespace
}  // namespace velmo::dialup
