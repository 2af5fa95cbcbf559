#pragma once
// The encoder's connection point for _IAudioEncoderEvents. Lives inside the
// encoder and shares its reference count.
#include <string>

#include "ipc/KConnectionPoint.h"

class CProxy_IAudioEncoderEvents final : public KConnectionPoint<_IAudioEncoderEvents> {
public:
    using KConnectionPoint::KConnectionPoint;

    // Calls every sink synchronously on the calling thread, each with its
    // own copy of the path. S_OK with no sink, else the first failure.
    HRESULT Fire_Progress(UINT nProgress, const std::u16string& path);
};
