#pragma once
// The PulseAudio backend: outputs are the server's sinks, inputs its sources
// (monitors of sinks included, so that what another output plays can be
// recorded). Every device has a stable GUID made from its server name and
// description. Each listing asks the server afresh. The server's default
// device comes first, the others follow in the server's order.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sound/SoundSystem.h"

namespace plat {

class PulseSoundSystem final : public SoundSystem {
public:
    struct DeviceInfo {
        std::string name;
        std::u16string description;
        GUID guid;
    };

    // The sinks or sources that the server lists now: its default first, then
    // the others in its order.
    HRESULT List(bool capture, std::vector<DeviceInfo>* devices);

    HRESULT EnumeratePlayback(SoundEnumCallback callback, void* context) override;
    HRESULT EnumerateCapture(SoundEnumCallback callback, void* context) override;
    HRESULT CreatePlaybackDevice(const GUID* guid, std::shared_ptr<SoundPlaybackDevice>* ppDevice) override;
    HRESULT CreateCaptureDevice(const GUID* guid, std::shared_ptr<SoundCaptureDevice>* ppDevice) override;
    const char* Name() const override { return "pulse"; }

private:
    HRESULT Enumerate(bool capture, SoundEnumCallback callback, void* context);
    HRESULT NameOf(const GUID& guid, bool capture, std::string* name);
    // A device of the kind asked for, by its GUID (null: the server's default).
    template <class Device>
    HRESULT Open(const GUID* guid, bool capture, std::shared_ptr<Device>* ppDevice);

    std::mutex m_lock;
    std::map<GUID, std::string> m_names[2];  // by kind: outputs, inputs
};

}  // namespace plat
