#pragma once
// Which encoder each EEncoderType makes. The encoders register their makers
// here; the controller only looks them up, so it builds and links without the
// codecs, and a test can hand in makers of its own.
//
// The engine asks the process-wide table at each creation
// (KControllerComponents::Engine), so the encoders may register at any time
// before the first save.
#include <array>
#include <functional>
#include <mutex>

#include "ipc/QXServiceLib.h"

// Returns a new encoder with no reference taken yet (the caller's counted
// pointer takes the first), or null after logging why.
using KEncoderFactory = std::function<IAudioEncoder*()>;

class KEncoderFactories {
public:
    static constexpr int kTypes = 4;  // eMP3, eOGG, eWMA, eAAC

    KEncoderFactories() = default;
    KEncoderFactories(const KEncoderFactories& other);
    KEncoderFactories& operator=(const KEncoderFactories& other);

    static bool IsKnownType(EEncoderType type) { return type >= eMP3 && type <= eAAC; }

    // Fills (or, with an empty factory, empties) the slot of a type; false
    // for a type outside eMP3..eAAC.
    bool Set(EEncoderType type, KEncoderFactory factory);
    // The maker of a type; empty for an unknown type or an empty slot.
    KEncoderFactory Get(EEncoderType type) const;

    // The table the encoders register into at start-up.
    static KEncoderFactories& Process();

private:
    mutable std::mutex m_lock;
    std::array<KEncoderFactory, kTypes> m_slots;
};

// What an encoders module calls to offer its encoder for a type.
inline bool RegisterEncoderFactory(EEncoderType type, KEncoderFactory factory) {
    return KEncoderFactories::Process().Set(type, std::move(factory));
}
