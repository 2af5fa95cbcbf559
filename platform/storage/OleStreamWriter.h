#pragma once
// One stream of a compound file being written. It keeps its storage alive
// and closes itself when released or when the storage commits.
#include <gsf/gsf-output.h>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/storage/GsfObject.h"
#include "platform/storage/Storage.h"

namespace plat {

class OleStorageWriter;

class OleStreamWriter : public ComObject<OleStreamWriter, IStream> {
public:
    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;

    // Ends the stream; later writes fail. Returns false when the stream
    // failed at any point.
    bool Close();

private:
    friend class ComObject<OleStreamWriter, IStream>;
    friend class OleStorageWriter;
    OleStreamWriter(OleStorageWriter* storage, GsfOutput* child);
    ~OleStreamWriter() override;

    ComPtr<IStorage> m_storageRef;  // keeps the storage alive
    OleStorageWriter* m_storage;
    GsfObject<GsfOutput> m_child;
    bool m_ok = true;
    bool m_closed = false;
};

}  // namespace plat
