#include "platform/com/Variant.h"

#include <memory>

void VariantInit(VARIANT* v) {
    if (!v) return;
    v->vt = VT_EMPTY;
    v->llVal = 0;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_POINTER;
    if (v->vt & VT_ARRAY) {
        SafeArrayDestroy(v->parray);
    } else if (v->vt == VT_BSTR) {
        SysFreeString(v->bstrVal);
    } else if (v->vt == VT_UNKNOWN) {
        if (v->punkVal) v->punkVal->Release();
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) return E_POINTER;
    if (dest == src) return S_OK;
    VARIANT tmp = *src;
    if (src->vt & VT_ARRAY) {
        tmp.parray = SafeArrayCopy(src->parray);
        if (src->parray && !tmp.parray) return E_OUTOFMEMORY;
    } else if (src->vt == VT_BSTR) {
        tmp.bstrVal = src->bstrVal ? SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal)) : nullptr;
        if (src->bstrVal && !tmp.bstrVal) return E_OUTOFMEMORY;
    } else if (src->vt == VT_UNKNOWN) {
        if (tmp.punkVal) tmp.punkVal->AddRef();
    }
    VariantClear(dest);
    *dest = tmp;
    return S_OK;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG count) {
    if (vt != VT_BSTR && vt != VT_UNKNOWN) return nullptr;
    if (count > 0x1000000u) return nullptr;
    auto psa = std::unique_ptr<SAFEARRAY>(new (std::nothrow) SAFEARRAY);
    if (!psa) return nullptr;
    psa->vt = vt;
    psa->lowerBound = lowerBound;
    try {
        psa->items.assign(count, nullptr);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return psa.release();
}

namespace {

void FreeItem(VARTYPE vt, void* item) {
    if (!item) return;
    if (vt == VT_BSTR) SysFreeString(static_cast<BSTR>(item));
    else static_cast<IUnknown*>(item)->Release();
}

HRESULT Slot(SAFEARRAY* psa, const LONG* index, size_t* at) {
    if (!psa || !index) return E_POINTER;
    int64_t i = static_cast<int64_t>(*index) - psa->lowerBound;
    if (i < 0 || static_cast<uint64_t>(i) >= psa->items.size()) return DISP_E_BADINDEX;
    *at = static_cast<size_t>(i);
    return S_OK;
}

}  // namespace

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    std::unique_ptr<SAFEARRAY> owned(psa);
    for (void* item : owned->items) FreeItem(owned->vt, item);
    return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* index, void* pv) {
    size_t at = 0;
    HRESULT hr = Slot(psa, index, &at);
    if (FAILED(hr)) return hr;
    void* item = nullptr;
    if (psa->vt == VT_BSTR) {
        BSTR s = static_cast<BSTR>(pv);
        if (s) {
            item = SysAllocStringLen(s, SysStringLen(s));
            if (!item) return E_OUTOFMEMORY;
        }
    } else {
        item = pv;
        if (item) static_cast<IUnknown*>(item)->AddRef();
    }
    FreeItem(psa->vt, psa->items[at]);
    psa->items[at] = item;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* index, void* pv) {
    if (!pv) return E_POINTER;
    size_t at = 0;
    HRESULT hr = Slot(psa, index, &at);
    if (FAILED(hr)) return hr;
    void* item = psa->items[at];
    if (psa->vt == VT_BSTR) {
        BSTR s = static_cast<BSTR>(item);
        BSTR copy = s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
        if (s && !copy) return E_OUTOFMEMORY;
        *static_cast<BSTR*>(pv) = copy;
    } else {
        IUnknown* u = static_cast<IUnknown*>(item);
        if (u) u->AddRef();
        *static_cast<IUnknown**>(pv) = u;
    }
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* bound) {
    if (!psa || !bound) return E_POINTER;
    if (dim != 1) return DISP_E_BADINDEX;
    *bound = psa->lowerBound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* bound) {
    if (!psa || !bound) return E_POINTER;
    if (dim != 1) return DISP_E_BADINDEX;
    *bound = psa->lowerBound + static_cast<LONG>(psa->items.size()) - 1;
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt) {
    if (!psa || !vt) return E_POINTER;
    *vt = psa->vt;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? 1u : 0u; }

SAFEARRAY* SafeArrayCopy(SAFEARRAY* psa) {
    if (!psa) return nullptr;
    SAFEARRAY* copy = SafeArrayCreateVector(psa->vt, psa->lowerBound, static_cast<ULONG>(psa->items.size()));
    if (!copy) return nullptr;
    for (size_t i = 0; i < psa->items.size(); ++i) {
        LONG idx = psa->lowerBound + static_cast<LONG>(i);
        if (FAILED(SafeArrayPutElement(copy, &idx, psa->items[i]))) {
            SafeArrayDestroy(copy);
            return nullptr;
        }
    }
    return copy;
}

namespace plat {

HRESULT MakeStringArray(const std::vector<std::u16string>& texts, VARIANT* out) {
    if (!out) return E_POINTER;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    if (!psa) return E_OUTOFMEMORY;
    for (size_t i = 0; i < texts.size(); ++i) {
        Bstr s(texts[i]);
        LONG idx = static_cast<LONG>(i);
        HRESULT hr = SafeArrayPutElement(psa, &idx, s.Get());
        if (FAILED(hr)) {
            SafeArrayDestroy(psa);
            return hr;
        }
    }
    VariantInit(out);
    out->vt = VT_ARRAY | VT_BSTR;
    out->parray = psa;
    return S_OK;
}

HRESULT MakeUnknownArray(const std::vector<IUnknown*>& objects, VARIANT* out) {
    if (!out) return E_POINTER;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UNKNOWN, 0, static_cast<ULONG>(objects.size()));
    if (!psa) return E_OUTOFMEMORY;
    for (size_t i = 0; i < objects.size(); ++i) {
        LONG idx = static_cast<LONG>(i);
        SafeArrayPutElement(psa, &idx, objects[i]);
    }
    VariantInit(out);
    out->vt = VT_ARRAY | VT_UNKNOWN;
    out->parray = psa;
    return S_OK;
}

HRESULT ReadStringArray(const VARIANT& v, std::vector<std::u16string>* texts) {
    if (!texts) return E_POINTER;
    if (v.vt != (VT_ARRAY | VT_BSTR) || !v.parray) return E_INVALIDARG;
    texts->clear();
    for (void* item : v.parray->items) texts->push_back(BstrToU16(static_cast<BSTR>(item)));
    return S_OK;
}

HRESULT ReadUnknownArray(const VARIANT& v, std::vector<IUnknown*>* objects) {
    if (!objects) return E_POINTER;
    if (v.vt != (VT_ARRAY | VT_UNKNOWN) || !v.parray) return E_INVALIDARG;
    objects->clear();
    for (void* item : v.parray->items) {
        IUnknown* u = static_cast<IUnknown*>(item);
        if (u) u->AddRef();
        objects->push_back(u);
    }
    return S_OK;
}

}  // namespace plat
