#pragma once
// The base of every engine object that implements interfaces: an atomic
// reference count, interface lookup over the listed interfaces, and creation
// with the count at 0 so that the caller's first reference owns the object.
#include <atomic>
#include <new>
#include <utility>

#include "platform/com/Unknown.h"

namespace plat {

template <class Derived, class First, class... Rest>
class ComObject : public First, public Rest... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG AddRef() override { return ++m_refCount; }
    ULONG Release() override {
        ULONG left = --m_refCount;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
        } else if (!Find<First, Rest...>(riid, ppv)) {
            HRESULT hr = QueryExtraInterface(riid, ppv);
            if (FAILED(hr)) return hr;
            if (!*ppv) return E_NOINTERFACE;
            return S_OK;  // the override has taken its reference
        }
        AddRef();
        return S_OK;
    }

    // The new object with its count at 0, or null when memory runs out.
    template <class... Args>
    static Derived* CreateInstance(Args&&... args) {
        return new (std::nothrow) Derived(std::forward<Args>(args)...);
    }

    ULONG RefCount() const { return m_refCount.load(); }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    // Lets an object answer for further IIDs (base interfaces of its own ones);
    // it must AddRef what it hands out.
    virtual HRESULT QueryExtraInterface(REFIID, void**) { return E_NOINTERFACE; }

private:
    template <class I, class... More>
    bool Find(REFIID riid, void** ppv) {
        if (riid == IidOf<I>()) {
            *ppv = static_cast<I*>(this);
            return true;
        }
        if constexpr (sizeof...(More) > 0) return Find<More...>(riid, ppv);
        return false;
    }

    std::atomic<ULONG> m_refCount{0};
};

}  // namespace plat
