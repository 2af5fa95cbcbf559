#pragma once
// An owning interface pointer: AddRef on copy, Release on destruction.
#include <utility>

#include "platform/com/Unknown.h"

namespace plat {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference on p.
    ComPtr(T* p) : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.m_p) {}
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    template <class U>
    ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.Get())) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& o) {
        if (this != &o) ComPtr(o).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            Reset();
            m_p = std::exchange(o.m_p, nullptr);
        }
        return *this;
    }
    ComPtr& operator=(T* p) {
        ComPtr(p).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        Reset();
        return *this;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    operator T*() const { return m_p; }

    void Reset() {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }
    // Takes over a reference the caller already owns.
    void Attach(T* p) {
        Reset();
        m_p = p;
    }
    // Gives up the reference without releasing it.
    T* Detach() { return std::exchange(m_p, nullptr); }
    // For out-parameters: releases what is held and returns the slot.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &m_p;
    }
    T** GetAddressOf() { return &m_p; }
    // Hands out a new reference.
    HRESULT CopyTo(T** out) const {
        if (!out) return E_POINTER;
        *out = m_p;
        if (m_p) m_p->AddRef();
        return S_OK;
    }
    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        if (!out) return E_POINTER;
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(IidOf<U>(), reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
    }
    void Swap(ComPtr& o) noexcept { std::swap(m_p, o.m_p); }

private:
    T* m_p = nullptr;
};

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) {
    return a.Get() == b.Get();
}

}  // namespace plat
