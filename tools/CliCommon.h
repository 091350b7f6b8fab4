// Shared pieces of velmo-cli's commands.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "CliFormat.h"
#include "velmo/IOrvikModem.h"

namespace velmo::cli {

using tools::Json;

struct Options {
    int port = 1;
    int baud = 115200;
    bool network = false;  // open the Ethernet link instead of a serial port
    std::string spc;       // --spc: verified right after opening, for nv/nam/prl
    bool json = false;
    bool watch = false;
    int count = 0;                  // rf --watch: number of redraws, 0 = until interrupted
    int intervalMs = 500;           // rf --watch: pause between redraws
    std::vector<std::string> args;  // command and its arguments
};

struct Command {
    const char* name;
    const char* usage;  // one line for the help text: "name ARGS   what it does"
    std::function<int(IOrvikModem&, const Options&)> run;
};

// Set by SIGINT/SIGTERM; long-running commands stop when it is set.
extern volatile std::sig_atomic_t g_interrupted;

// Exit status for a library result code: the code itself, 255 for 0xFFFF.
int ExitFromResult(int32_t result);
// Reports a failed operation (text or JSON) and returns its exit status.
int Fail(const Options& opt, const char* what, int32_t result);

bool ParseInt(const char* text, int& out);
bool ParseHex(const std::string& text, std::vector<uint8_t>& out);
void HexDump(const uint8_t* data, size_t n);

// Opens the serial port (or, with --network, the Ethernet link) with the start-up handshake. On failure
// explains why in words and returns the result code; ms gets the time the open took.
int32_t OpenModem(IOrvikModem& modem, const Options& opt, double* ms = nullptr);
// OpenModem, then the SPC of --spc; the port is closed again when either fails.
int OpenOrFail(IOrvikModem& modem, const Options& opt);

// nam backup FILE / nam restore FILE (cli_backup.cpp).
int CmdNamBackup(IOrvikModem& modem, const Options& opt);
int CmdNamRestore(IOrvikModem& modem, const Options& opt);

// The command groups.
std::vector<Command> DeviceCommands();
std::vector<Command> ParameterCommands();
std::vector<Command> DialCommands();
std::vector<Command> SmsCommands();

}  // namespace velmo::cli
