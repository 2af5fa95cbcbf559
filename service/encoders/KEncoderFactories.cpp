#include "service/encoders/KEncoderFactories.h"

KEncoderFactories::KEncoderFactories(const KEncoderFactories& other) {
    std::lock_guard<std::mutex> guard(other.m_lock);
    m_slots = other.m_slots;
}

KEncoderFactories& KEncoderFactories::operator=(const KEncoderFactories& other) {
    if (this == &other) return *this;
    std::array<KEncoderFactory, kTypes> slots;
    {
        std::lock_guard<std::mutex> guard(other.m_lock);
        slots = other.m_slots;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_slots = std::move(slots);
    return *this;
}

bool KEncoderFactories::Set(EEncoderType type, KEncoderFactory factory) {
    if (!IsKnownType(type)) return false;
    std::lock_guard<std::mutex> guard(m_lock);
    m_slots[static_cast<size_t>(type)] = std::move(factory);
    return true;
}

KEncoderFactory KEncoderFactories::Get(EEncoderType type) const {
    if (!IsKnownType(type)) return {};
    std::lock_guard<std::mutex> guard(m_lock);
    return m_slots[static_cast<size_t>(type)];
}

KEncoderFactories& KEncoderFactories::Process() {
    static KEncoderFactories table;
    return table;
}
