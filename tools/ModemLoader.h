// Binds libVelmoModem.so at run time, the way the manager does: by absolute path beside the running
// executable first, then where the packages install it (a private folder, fixed at build time).
#pragma once

#include <string>

#include "velmo/IOrvikModem.h"

namespace velmo::tools {

class ModemLoader {
  public:
    ModemLoader() = default;
    ~ModemLoader();
    ModemLoader(const ModemLoader&) = delete;
    ModemLoader& operator=(const ModemLoader&) = delete;

    // Loads the library and takes both exports; on failure Error() says why.
    bool Load();
    const std::string& Error() const { return error_; }
    const std::string& LoadedFrom() const { return loadedFrom_; }

    IOrvikModemCreateFn create = nullptr;
    IOrvikModemDestroyFn destroy = nullptr;

  private:
    void* handle_ = nullptr;
    std::string error_;
    std::string loadedFrom_;
};

// The folder of the running executable (from /proc/self/exe), without a trailing slash; empty when unknown.
std::string ExecutableDirectory();

}  // namespace velmo::tools
