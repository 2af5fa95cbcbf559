#include "platform/sound/SoundSystem.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/sound/PulseConnection.h"
#include "platform/sound/PulseSoundSystem.h"
#include "platform/sound/VirtualSoundSystem.h"

namespace plat {

namespace {

std::mutex g_lock;
std::shared_ptr<SoundSystem> g_system;

constexpr DWORD kProbeTimeoutMs = 1500;

std::shared_ptr<SoundSystem> MakeVirtual() {
    // A machine without a sound server: one output that plays into nothing
    // and one input that records silence, both at real time.
    auto system = VirtualSoundSystem::Create(VirtualSoundSystem::ClockMode::RealTime);
    if (!system) return nullptr;
    GUID out = system->AddPlaybackDevice(u"Virtual Output");
    system->SetRenderedLimit(out, 0);
    system->AddCaptureDevice(u"Virtual Input");
    return system;
}

std::shared_ptr<SoundSystem> Choose() {
    const char* wanted = std::getenv("TONQUIL_SOUND");
    if (wanted && std::strcmp(wanted, "virtual") == 0) return MakeVirtual();
    if (wanted && std::strcmp(wanted, "pulse") == 0) return std::make_shared<PulseSoundSystem>();
    if (PulseServerAnswers(kProbeTimeoutMs)) return std::make_shared<PulseSoundSystem>();
    return MakeVirtual();
}

}  // namespace

std::shared_ptr<SoundSystem> GetSoundSystem() {
    std::lock_guard<std::mutex> g(g_lock);
    if (!g_system) g_system = Choose();
    return g_system;
}

void SetSoundSystem(std::shared_ptr<SoundSystem> system) {
    std::lock_guard<std::mutex> g(g_lock);
    g_system = std::move(system);
}

}  // namespace plat
