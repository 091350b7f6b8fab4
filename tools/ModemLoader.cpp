#include "ModemLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>

namespace velmo::tools {

namespace {
constexpr const char* kLibraryName = "libVelmoModem.so";
}

std::string ExecutableDirectory() {
    std::array<char, 4096> path{};
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) {
        return {};
    }
    std::string exe(path.data(), static_cast<size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

ModemLoader::~ModemLoader() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

bool ModemLoader::Load() {
    std::string besideUs;
    if (const std::string dir = ExecutableDirectory(); !dir.empty()) {
        besideUs = dir + "/" + kLibraryName;
        handle_ = dlopen(besideUs.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ != nullptr) {
            loadedFrom_ = besideUs;
        }
    }
    if (handle_ == nullptr) {
        // Then where the packages put it; never on the loader's search path, the library is private.
        handle_ = dlopen(VELMO_INSTALLED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            const char* why = dlerror();
            error_ = std::string("cannot load ") + kLibraryName + " (looked beside the program" +
                     (besideUs.empty() ? "" : " at " + besideUs) + " and at " + VELMO_INSTALLED_LIBRARY +
                     "): " + (why != nullptr ? why : "unknown error");
            return false;
        }
        loadedFrom_ = VELMO_INSTALLED_LIBRARY;
    }
    create = reinterpret_cast<IOrvikModemCreateFn>(dlsym(handle_, "IOrvikModem_Create"));
    destroy = reinterpret_cast<IOrvikModemDestroyFn>(dlsym(handle_, "IOrvikModem_Destroy"));
    if (create == nullptr || destroy == nullptr) {
        error_ = loadedFrom_ + " does not export IOrvikModem_Create and IOrvikModem_Destroy";
        return false;
    }
    return true;
}

}  // namespace velmo::tools
