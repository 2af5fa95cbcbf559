#pragma once
// Owns one reference on a GLib object of the structured-storage library.
#include <glib-object.h>

#include <utility>

namespace plat {

template <class T>
class GsfObject {
public:
    GsfObject() = default;
    explicit GsfObject(T* p) : m_p(p) {}  // takes over the reference
    ~GsfObject() { Reset(); }
    GsfObject(const GsfObject&) = delete;
    GsfObject& operator=(const GsfObject&) = delete;
    GsfObject(GsfObject&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    GsfObject& operator=(GsfObject&& o) noexcept {
        if (this != &o) {
            Reset();
            m_p = std::exchange(o.m_p, nullptr);
        }
        return *this;
    }

    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void Reset(T* p = nullptr) {
        if (T* old = std::exchange(m_p, p)) g_object_unref(old);
    }

private:
    T* m_p = nullptr;
};

// The library is set up once per process before its first use.
void EnsureGsfInitialized();

}  // namespace plat
