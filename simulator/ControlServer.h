// The stand-in's control channel: a Unix stream socket with a line protocol, so that tests and scripts can
// change faults and device state of a running stand-in. Every answer starts with "ok" or "error <text>";
// answers of more than one line end with "end".
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "ModemSimulator.h"

namespace velmo::sim {

// Beside the ports folder: <ports folder>/../sim/control.sock.
std::string DefaultControlPath();

class ControlServer {
  public:
    ControlServer(ModemSimulator& sim, std::string path, std::function<void()> onQuit);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Creates the socket (its folder 0700, a stale socket removed) and starts serving.
    bool Start(std::string* error);
    // Stops serving and removes the socket.
    void Stop();
    const std::string& Path() const { return path_; }

    // Answers one command line; sets *quit for "quit".
    std::string Execute(std::string_view line, bool* quit);

    // Lines the channel does not know itself go here (the Ethernet unit's "ethernet ..." words); it answers
    // nullopt for lines that are not its own. Set before Start.
    using Extension = std::function<std::optional<std::string>(std::string_view line)>;
    void SetExtension(Extension extension) { extension_ = std::move(extension); }

  private:
    void Serve();
    void ServeClient(int fd);

    ModemSimulator& sim_;
    std::string path_;
    std::function<void()> onQuit_;
    Extension extension_;
    int listen_ = -1;
    int wake_ = -1;
    std::thread thread_;
};

enum ControlClientResult { kControlOk = 0, kControlError = 1, kControlUnreachable = 2 };

// Sends one line to the stand-in at path and collects the whole answer.
ControlClientResult SendControlLine(const std::string& path, const std::string& line, std::string* answer);

}  // namespace velmo::sim
