// Names the calling thread, so that ps, top, gdb and the wake-up figures tell our threads apart.
#pragma once

#include <pthread.h>

namespace velmo::platform {

// name: at most 15 characters; a longer one is left unset (the kernel refuses it).
inline void NameThisThread(const char* name) {
    (void)pthread_setname_np(pthread_self(), name);
}

}  // namespace velmo::platform
