#pragma once
// The VARIANT and SAFEARRAY forms that the engine's interfaces use: one-
// dimensional arrays of strings or of interface pointers, carried in a VARIANT.
#include <vector>

#include "platform/com/Bstr.h"
#include "platform/com/Unknown.h"

using VARTYPE = uint16_t;
enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
    VT_UI1 = 17,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_ARRAY = 0x2000,
};

// One-dimensional array of BSTR or IUnknown* elements. Opaque: use the functions.
struct SAFEARRAY {
    VARTYPE vt = VT_EMPTY;
    LONG lowerBound = 0;
    std::vector<void*> items;  // owned BSTRs or referenced interfaces
};

struct VARIANT {
    VARTYPE vt;
    union {
        LONG lVal;
        ULONG ulVal;
        int64_t llVal;
        uint64_t ullVal;
        BYTE bVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        SAFEARRAY* parray;
    };
};

void VariantInit(VARIANT* v);
// Frees what the variant owns (string, reference, array) and empties it.
HRESULT VariantClear(VARIANT* v);
// Deep copy (strings and arrays copied, interfaces AddRef'd).
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);

// A vector of the given element type (VT_BSTR or VT_UNKNOWN); null for other
// types or when memory runs out. Elements start null.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG count);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
// Stores a copy of a BSTR (pv is the BSTR) or a new reference (pv is the IUnknown*).
HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* index, void* pv);
// Hands out a copy (BSTR*) or a new reference (IUnknown**) through pv.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* index, void* pv);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* bound);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt);
UINT SafeArrayGetDim(SAFEARRAY* psa);
SAFEARRAY* SafeArrayCopy(SAFEARRAY* psa);

namespace plat {

// Builds a VARIANT holding an array of strings / of interfaces (references taken).
HRESULT MakeStringArray(const std::vector<std::u16string>& texts, VARIANT* out);
HRESULT MakeUnknownArray(const std::vector<IUnknown*>& objects, VARIANT* out);
// Reads them back (E_INVALIDARG when the variant holds something else).
HRESULT ReadStringArray(const VARIANT& v, std::vector<std::u16string>* texts);
HRESULT ReadUnknownArray(const VARIANT& v, std::vector<IUnknown*>* objects);  // caller owns the references

// Owns a VARIANT and clears it on destruction.
class Variant {
public:
    Variant() { VariantInit(&m_v); }
    ~Variant() { VariantClear(&m_v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* operator&() { return &m_v; }
    VARIANT& Get() { return m_v; }
    const VARIANT& Get() const { return m_v; }

private:
    VARIANT m_v;
};

}  // namespace plat
