#include "DialErrors.h"

#include <array>
#include <utility>

namespace velmo::dialup {

namespace {

struct ErrorText {
    int error;
    const char* text;
};

constexpr std::array kErrorTexts{
    ErrorText{kErrorOk, "The operation completed successfully."},
    ErrorText{kErrorFileNotFound,
              "The dial-up programs chat and pppd are not installed (Debian package ppp)."},
    ErrorText{
        kErrorAccessDenied,
        "Access denied: pppd may only be run by root or by members of the dip group, and a user other than "
        "root also needs the peers file /etc/ppp/peers/velmo with the option noauth."},
    ErrorText{kErrorInvalidHandle, "The connection does not exist (any more)."},
    ErrorText{kErrorInvalidName, "The entry name is not valid."},
    ErrorText{kErrorAlreadyExists, "An entry of that name already exists."},
    ErrorText{kErrorWrongInfo,
              "The entry cannot be dialled as given (phone number or options not accepted)."},
    ErrorText{kErrorStillDisconnecting, "The connection is still disconnecting: pppd did not stop."},
    ErrorText{kErrorPortDisconnected, "The modem hung up: the carrier was lost."},
    ErrorText{kErrorCannotFindEntry, "The phonebook entry was not found."},
    ErrorText{kErrorCannotWritePhonebook, "The phonebook could not be written."},
    ErrorText{kErrorDisconnection, "The connection was closed: the network stopped answering."},
    ErrorText{kErrorRemoteDisconnection, "The connection was closed by the network."},
    ErrorText{kErrorUserDisconnection, "The connection was stopped by another program."},
    ErrorText{kErrorPortNotAvailable, "The modem is not present or is already in use by another program."},
    ErrorText{kErrorRequestTimeout, "The modem did not report a connection in time."},
    ErrorText{kErrorFromDevice, "The modem rejected the dial command (ERROR)."},
    ErrorText{kErrorLineBusy, "The line is busy."},
    ErrorText{kErrorNoAnswer, "There was no answer."},
    ErrorText{kErrorNoCarrier, "No carrier: the remote side did not answer the call."},
    ErrorText{kErrorNoDialtone, "There is no dial tone."},
    ErrorText{kErrorAuthenticationFailure, "The user name or password was not accepted by the network."},
    ErrorText{kErrorPortOrDevice, "The modem or its port failed: it did not answer or reported an error."},
    ErrorText{
        kErrorServiceCannotStart,
        "This system has no kernel support for PPP (/dev/ppp cannot be opened): load the ppp_generic and "
        "ppp_async modules."},
    ErrorText{kErrorNoProtocols, "PPP negotiation failed: no network protocol came up."},
    ErrorText{kErrorLoopback, "The line is looped back: the modem echoes what is sent."},
    ErrorText{kErrorDialInProgress, "This service is already dialling a connection."},
};

}  // namespace

std::string DialErrorText(int error) {
    for (const ErrorText& e : kErrorTexts) {
        if (e.error == error) {
            return e.text;
        }
    }
    return "Unknown dial-up error " + std::to_string(error) + ".";
}

int ChatExitError(ChatStage stage, int exitStatus) {
    switch (exitStatus) {
        case 0:
            return kErrorOk;
        case 3:  // time-out
            return stage == ChatStage::Init ? kErrorPortOrDevice : kErrorRequestTimeout;
        case 4:
            return kErrorLineBusy;
        case 5:
            return kErrorNoCarrier;
        case 6:
            return kErrorNoAnswer;
        case 7:
            return kErrorNoDialtone;
        case 8:
            // ERROR to the set-up commands means the modem is unusable; to ATD, that it would not dial.
            return stage == ChatStage::Init ? kErrorPortOrDevice : kErrorFromDevice;
        default:  // 1 bad script, 2 I/O error or signal
            return kErrorPortOrDevice;
    }
}

int PppdExitError(const PppdEnd& end) {
    if (end.hangUpRequested) {
        return kErrorOk;
    }
    switch (end.exitStatus) {
        case 0:  // ended at the peer's request
            return end.connected ? kErrorOk : kErrorRemoteDisconnection;
        case 2:
            return end.privilegeRefused ? kErrorAccessDenied : kErrorWrongInfo;
        case 3:  // not setuid root
            return kErrorAccessDenied;
        case 4:
            return kErrorServiceCannotStart;
        case 5:  // SIGTERM/SIGINT/SIGHUP from someone else
            return kErrorUserDisconnection;
        case 6:  // lock
        case 7:  // open
            return kErrorPortNotAvailable;
        case 10:
            return kErrorNoProtocols;
        case 11:
        case 19:
            return kErrorAuthenticationFailure;
        case 12:  // idle time-out
        case 13:  // connect-time limit
            return kErrorOk;
        case 15:
            return kErrorDisconnection;
        case 16:
            return kErrorPortDisconnected;
        case 17:
            return kErrorLoopback;
        case -1:  // killed by a signal we did not send
            return kErrorUserDisconnection;
        default:  // 1 fatal, 8/9/18 scripts, 14 callback
            return kErrorPortOrDevice;
    }
}

}  // namespace velmo::dialup
