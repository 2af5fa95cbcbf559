#include "platform/driver/ObjectNames.h"

#include <sys/un.h>

#include <cstdio>
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

uint64_t Fnv1a(std::string_view text) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
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

bool SectionObjectName(std::u16string_view sectionName, std::string* objectName) {
    if (!IsPlainName(sectionName)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    char session[24];
    std::snprintf(session, sizeof(session), ".%016llx", static_cast<unsigned long long>(Fnv1a(RuntimeDir())));
    std::string name(1, '/');
    name.append(ToUtf8(sectionName));
    name.append(session);
    *objectName = std::move(name);
    return true;
}

}  // namespace plat::drv
