// Run-time binding of libVelmoModem.so: the manager never links against it.
#pragma once

#include <string>
#include <vector>

#include "velmo/IOrvikModem.h"

namespace velmo::manager {

inline constexpr const char* kModemLibraryName = "libVelmoModem.so";

// Where the library is looked for, in order: by absolute path beside the running executable (never relative,
// the working directory follows "TargetDir"), then where the packages install it (a private folder, fixed when
// the program is built).
std::vector<std::string> DefaultLibraryCandidates();

// The folder of the running executable (from /proc/self/exe), without a trailing slash; empty when unknown.
std::string ExecutableDirectory();

class ModemLibrary {
  public:
    ModemLibrary() = default;
    ~ModemLibrary();
    ModemLibrary(const ModemLibrary&) = delete;
    ModemLibrary& operator=(const ModemLibrary&) = delete;

    // Opens the first candidate that loads; false when none does.
    bool Open(const std::vector<std::string>& candidates);
    bool IsOpen() const { return handle_ != nullptr; }
    IOrvikModemCreateFn Create() const;
    IOrvikModemDestroyFn Destroy() const;
    void Close();

    const std::string& LoadedFrom() const { return loadedFrom_; }
    const std::string& Error() const { return error_; }

  private:
    void* handle_ = nullptr;
    std::string loadedFrom_;
    std::string error_;
};

}  // namespace velmo::manager
