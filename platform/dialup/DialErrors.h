// The dial-up service's error numbers and their texts. The numbers are the familiar dial-up ones where one
// fits, so that users and support documents recognise them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmo::dialup {

enum DialError : int {
    kErrorOk = 0,
    kErrorFileNotFound = 2,            // chat or pppd is not installed
    kErrorAccessDenied = 5,            // pppd needs privileges the user lacks
    kErrorInvalidHandle = 6,           // no such connection (any more)
    kErrorInvalidName = 123,           // entry name not allowed
    kErrorAlreadyExists = 183,         // entry name taken
    kErrorWrongInfo = 604,             // the entry or the number cannot be dialled as given
    kErrorStillDisconnecting = 617,    // the connection would not go, not even after SIGKILL
    kErrorPortDisconnected = 619,      // the modem hung up
    kErrorCannotFindEntry = 623,       // no such phonebook entry
    kErrorCannotWritePhonebook = 624,  // the phonebook folder cannot be written
    kErrorDisconnection = 628,         // the link died (the network stopped answering)
    kErrorRemoteDisconnection = 629,   // the network ended the link
    kErrorUserDisconnection = 631,     // pppd was stopped by someone else
    kErrorPortNotAvailable = 633,      // the modem is in use or not present
    kErrorRequestTimeout = 638,        // no connection reported in time
    kErrorFromDevice = 651,            // the modem answered the dial command with ERROR
    kErrorLineBusy = 676,
    kErrorNoAnswer = 678,
    kErrorNoCarrier = 679,
    kErrorNoDialtone = 680,
    kErrorAuthenticationFailure = 691,
    kErrorPortOrDevice = 692,        // the modem or its port failed
    kErrorServiceCannotStart = 711,  // no kernel PPP support
    kErrorNoProtocols = 720,         // PPP negotiation did not bring up IP
    kErrorLoopback = 737,
    kErrorDialInProgress = 756,
};

// Text for an error number; stands in for the system's error-string call. Never empty.
std::string DialErrorText(int error);

// Stage of the dialling dialogue a chat run belongs to.
enum class ChatStage { Init, Dial };

// The ABORT strings of the dialling dialogue, in the order chat numbers them (exit 4 is the first).
inline constexpr const char* kChatAbortStrings[] = {"BUSY", "NO CARRIER", "NO ANSWER", "NO DIALTONE",
                                                    "ERROR"};

// chat's exit status -> error (0 for success).
int ChatExitError(ChatStage stage, int exitStatus);

// How pppd ended, as far as the dialling session knows.
struct PppdEnd {
    int exitStatus = -1;            // -1: killed by a signal
    bool hangUpRequested = false;   // we asked it to stop
    bool connected = false;         // IP came up before it ended
    bool privilegeRefused = false;  // it said an option needs root
};

// pppd's end -> error; 0 when it is a plain disconnection.
int PppdExitError(const PppdEnd& end);

}  // namespace velmo::dialup
