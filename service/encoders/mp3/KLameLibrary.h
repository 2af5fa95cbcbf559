#pragma once
// The lame_enc entry points bound from one loaded library. A library, once
// bound, stays loaded until the process ends; binding happens under a lock,
// and a failed binding is tried again by the next save.
#include <string>

#include "platform/core/HResult.h"
#include "service/encoders/mp3/LameEnc.h"

struct KLameLibrary {
    // The library's file name; the service looks for it in its own folder
    // first, then by name through the loader's search path.
    static constexpr const char* kFileName = "liblame_enc.so";

    // The entry points of the library at `path`, or of the service's own
    // (empty path). A missing library or a missing required entry point
    // fails (logged); beWriteInfoTag alone may be missing.
    static HRESULT Get(const std::string& path, const KLameLibrary** out);

    BEINITSTREAM beInitStream = nullptr;
    BEENCODECHUNK beEncodeChunk = nullptr;
    BEDEINITSTREAM beDeinitStream = nullptr;
    BECLOSESTREAM beCloseStream = nullptr;
    BEVERSION beVersion = nullptr;
    BEWRITEVBRHEADER beWriteVBRHeader = nullptr;
    BEWRITEINFOTAG beWriteInfoTag = nullptr;  // optional
};
