#pragma once
// One stream of a compound file opened for reading; it keeps its storage
// (and so the file's bytes) alive.
#include <gsf/gsf-input.h>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/storage/GsfObject.h"
#include "platform/storage/Storage.h"

namespace plat {

class OleStreamReader : public ComObject<OleStreamReader, IStream> {
public:
    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;

private:
    friend class ComObject<OleStreamReader, IStream>;
    OleStreamReader(IStorage* storage, GsfInput* input) : m_storage(storage), m_input(input) {}
    ~OleStreamReader() override = default;

    ComPtr<IStorage> m_storage;
    GsfObject<GsfInput> m_input;
};

}  // namespace plat
