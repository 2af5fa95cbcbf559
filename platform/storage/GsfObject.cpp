#include "platform/storage/GsfObject.h"

#include <gsf/gsf-utils.h>

#include <mutex>

namespace plat {

void EnsureGsfInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

}  // namespace plat
