#include "platform/driver/ObjectNames.h"

#include <sys/un.h>

#include <cstdlib>
#include <mutex>

#include "platform/core/LastError.h"
#include "platform/core/Text.h"

namespace plat::drv {

namespace {

std::mutex g_lock;
std::string g_runtimeDir;

bool IsPlainName(std::u16string_view name) {
    if (name.empty() || name.size() > 200) return false;
    for (char16_t c : name)
        if (c == u'/' || c == u'\\' || c < 0x20) return false;
    return true;
}

}  // namespace

std::string RuntimeDir() {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        if (!g_runtimeDir.empty()) return g_runtimeDir;
    }
    for (const char* var : {"TONQUIL_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
        const char* value = std::getenv(var);
        if (value && *value) return value;
    }
    return "/tmp";
}

void SetRuntimeDir(std::string dir) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_runtimeDir = std::move(dir);
}

bool DeviceSocketPath(std::u16string_view devicePath, std::string* socketPath) {
    constexpr std::u16string_view kPrefix = u"\\\\.\\";
    if (devicePath.substr(0, kPrefix.size()) == kPrefix) devicePath.remove_prefix(kPrefix.size());
    if (!IsPlainName(devicePath)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::string path = RuntimeDir();
    if (path.empty() || path.back() != '/') path += '/';
    path += ToUtf8(devicePath);
    if (path.size() >= sizeof(sockaddr_un{}.sun_path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    *socketPath = std::move(path);
    return true;
}

}  // namespace plat::drv
