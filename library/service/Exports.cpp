// The two exported functions of libVelmoModem.so and the one-object rule.
#include <mutex>
#include <new>

#include "ModemService.h"

namespace {

std::mutex g_instanceMutex;
velmo::service::ModemService* g_instance = nullptr;
bool g_instanceFlag = false;

}  // namespace

extern "C" VELMO_EXPORT int32_t IOrvikModem_Create(velmo::IOrvikModem** out) {
    std::lock_guard lk(g_instanceMutex);
    if (g_instanceFlag) {
        return velmo::kResultAlreadyCreated;
    }
    auto* service = new (std::nothrow) velmo::service::ModemService();
    if (service == nullptr) {
        if (out != nullptr) {
            *out = nullptr;
        }
        return velmo::kResultNoEngine;
    }
    if (const int32_t result = service->GetLastResult(); result != 0) {
        delete service;
        if (out != nullptr) {
            *out = nullptr;
        }
        return result;
    }
    if (out != nullptr) {
        *out = service;
    }
    g_instance = service;
    g_instanceFlag = true;
    return velmo::kResultOk;
}

extern "C" VELMO_EXPORT int32_t IOrvikModem_Destroy(velmo::IOrvikModem* modem) {
    std::lock_guard lk(g_instanceMutex);
    if (modem != static_cast<velmo::IOrvikModem*>(g_instance)) {
        return velmo::kResultBadArgument;
    }
    delete g_instance;
    g_instance = nullptr;
    g_instanceFlag = false;
    return velmo::kResultOk;
}
