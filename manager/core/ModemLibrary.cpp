#include "ModemLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>

namespace velmo::manager {

std::string ExecutableDirectory() {
    std::array<char, 4096> path{};
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) {
        return {};
    }
    const std::string exe(path.data(), static_cast<size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::vector<std::string> DefaultLibraryCandidates() {
    std::vector<std::string> out;
    if (const std::string dir = ExecutableDirectory(); !dir.empty()) {
        out.push_back(dir + "/" + kModemLibraryName);
    }
    // Private to the packages: never looked for on the loader's search path.
    out.emplace_back(VELMO_INSTALLED_LIBRARY);
    return out;
}

ModemLibrary::~ModemLibrary() {
    Close();
}

bool ModemLibrary::Open(const std::vector<std::string>& candidates) {
    Close();
    error_.clear();
    for (const std::string& c : candidates) {
        handle_ = dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ != nullptr) {
            loadedFrom_ = c;
            return true;
        }
        const char* why = dlerror();
        error_ += (error_.empty() ? "" : "; ") + std::string(why != nullptr ? why : c.c_str());
    }
    return false;
}

IOrvikModemCreateFn ModemLibrary::Create() const {
    return handle_ == nullptr ? nullptr
                              : reinterpret_cast<IOrvikModemCreateFn>(dlsym(handle_, "IOrvikModem_Create"));
}

IOrvikModemDestroyFn ModemLibrary::Destroy() const {
    return handle_ == nullptr ? nullptr
                              : reinterpret_cast<IOrvikModemDestroyFn>(dlsym(handle_, "IOrvikModem_Destroy"));
}

void ModemLibrary::Close() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
    loadedFrom_.clear();
}

}  // namespace velmo::manager
