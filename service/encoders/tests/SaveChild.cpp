// A client of the running service (it is not started here) that saves the playlist's last song as an
// OGG file, the way the desktop program saves: it holds its encoder for the
// whole save. Arguments: the file name, and --no-rate to save with a fresh
// encoder whose bit rate is not set. Prints the save's HRESULT and exits 0
// when it is S_OK; with --no-rate prints the service's error list after it
// and exits 0 when the save failed.
#include <cstdio>
#include <string>
#include <vector>

#include "ipc/client/RunningObjects.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Variant.h"
#include "platform/core/Text.h"

int main(int argc, char** argv) {
    const bool noRate = argc == 3 && std::string(argv[2]) == "--no-rate";
    if (argc != 2 && !noRate) {
        std::fputs("usage: encoder_save_child FILE [--no-rate]\n", stderr);
        return 2;
    }
    plat::ComPtr<IAudioController> controller;
    HRESULT hr = ipc::FindObjectInRot(IID_IAudioController, reinterpret_cast<void**>(controller.GetAddressOf()));
    plat::ComPtr<IPlayList> playlist;
    plat::ComPtr<ISong> song;
    plat::ComPtr<IAudioEncoder> encoder;
    GUID last{};
    const char* step = "connect";
    if (hr == S_OK && controller && (step = "playlist", true) &&
        SUCCEEDED(hr = controller->QueryInterface(IID_IPlayList, reinterpret_cast<void**>(playlist.GetAddressOf()))) &&
        (step = "Last", true) && SUCCEEDED(hr = playlist->Last(&last)) && (step = "Get", true) &&
        SUCCEEDED(hr = playlist->Get(last, song.GetAddressOf())) && (step = "CreateNewEncoder", true) &&
        SUCCEEDED(hr = controller->CreateNewEncoder(encoder.GetAddressOf(), eOGG)) &&
        (step = "SetConstantBitrate", true) && (noRate || SUCCEEDED(hr = encoder->SetConstantBitrate(128)))) {
        step = nullptr;
    }
    if (step) {
        std::fprintf(stderr, "%s answered 0x%08X\n", step, static_cast<unsigned>(hr));
        return 1;
    }
    hr = encoder->Save(song.Get(), plat::Bstr(plat::ToUtf16(argv[1])));
    std::printf("0x%08X\n", static_cast<unsigned>(hr));
    std::fflush(stdout);
    if (!noRate) return hr == S_OK ? 0 : 1;
    VARIANT errors;
    VariantInit(&errors);
    std::vector<std::u16string> texts;
    if (FAILED(controller->GetErrors(&errors)) || FAILED(plat::ReadStringArray(errors, &texts))) return 1;
    VariantClear(&errors);
    for (const auto& text : texts) std::printf("%s\n", plat::ToUtf8(text).c_str());
    std::fflush(stdout);
    return FAILED(hr) ? 0 : 1;
}
