#include "service/encoders/mp3/KLameLibrary.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>

#include "log/Trace.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"

namespace {

constexpr DWORD kModuleNotFound = 126;

std::mutex g_lock;
std::map<std::string, std::unique_ptr<KLameLibrary>> g_bound;

template <class F>
bool Bind(void* handle, const char* name, F* slot) {
    *slot = reinterpret_cast<F>(::dlsym(handle, name));
    return *slot != nullptr;
}

}  // namespace

HRESULT KLameLibrary::Get(const std::string& path, const KLameLibrary** out) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (auto it = g_bound.find(path); it != g_bound.end()) {
        *out = it->second.get();
        return S_OK;
    }
    void* handle = nullptr;
    if (path.empty()) {
        const std::string beside = plat::ToUtf8(plat::GetModuleDir()) + kFileName;
        handle = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) handle = ::dlopen(kFileName, RTLD_NOW | RTLD_LOCAL);
    } else {
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle) {
        TQ_TRACE_BOOL("dlopen(lame_enc)");
        const char* why = ::dlerror();
        TQ_REPORT(EC_INTERNAL, kModuleNotFound, u"Finding DLL for MP3 encoding (lame_enc.dll) was failed");
        if (why) TQ_REPORT(EC_INTERNAL, kModuleNotFound, plat::ToUtf16(why));
        return plat::HResultFromError(kModuleNotFound);
    }
    auto lib = std::make_unique<KLameLibrary>();
    const bool complete = Bind(handle, "beInitStream", &lib->beInitStream) &&
                          Bind(handle, "beEncodeChunk", &lib->beEncodeChunk) &&
                          Bind(handle, "beDeinitStream", &lib->beDeinitStream) &&
                          Bind(handle, "beCloseStream", &lib->beCloseStream) &&
                          Bind(handle, "beVersion", &lib->beVersion) &&
                          Bind(handle, "beWriteVBRHeader", &lib->beWriteVBRHeader);
    if (!complete) {
        ::dlclose(handle);
        TQ_TRACE_BOOL("dlsym(lame_enc)");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Loading functions for MP3 encoding from DLL was failed");
        return E_FAIL;
    }
    Bind(handle, "beWriteInfoTag", &lib->beWriteInfoTag);
    *out = lib.get();
    g_bound.emplace(path, std::move(lib));
    return S_OK;
}
