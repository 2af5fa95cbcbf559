#include "service/encoders/CProxy_IAudioEncoderEvents.h"

#include "platform/com/Bstr.h"

HRESULT CProxy_IAudioEncoderEvents::Fire_Progress(UINT nProgress, const std::u16string& path) {
    return FireEach([&](_IAudioEncoderEvents* sink) {
        plat::Bstr text(path);
        if (text.IsNull()) return E_OUTOFMEMORY;
        return sink->Progress(nProgress, text.Get());
    });
}
