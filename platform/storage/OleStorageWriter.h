#pragma once
// A compound file being written: the streams are built in memory by the
// structured-storage library and the whole file is written at Commit, beside
// the target first and then renamed over it, so the target is never half
// written. The target is held locked (share-exclusive) from creation to release.
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>

#include <set>
#include <string>

#include "platform/com/ComObject.h"
#include "platform/fs/File.h"
#include "platform/storage/GsfObject.h"
#include "platform/storage/Storage.h"

namespace plat {

class OleStreamWriter;

class OleStorageWriter : public ComObject<OleStorageWriter, IStorage> {
public:
    // Locks the target and sets up an empty storage; *out gets one reference.
    static HRESULT Create(const std::u16string& path, IStorage** out);

    HRESULT CreateStream(const OLECHAR* name, DWORD mode, IStream** ppStream) override;
    HRESULT OpenStream(const OLECHAR* name, DWORD mode, IStream** ppStream) override;
    HRESULT Commit(DWORD flags) override;

    // Called by the stream being written when it is closed; ok is false when
    // one of its writes or its closing failed.
    void StreamClosed(OleStreamWriter* stream, bool ok);

private:
    friend class ComObject<OleStorageWriter, IStorage>;
    OleStorageWriter() = default;
    ~OleStorageWriter() override;

    HRESULT WriteFile(const void* bytes, size_t size);

    std::u16string m_path;
    File m_lock;
    bool m_createdTarget = false;  // the lock made the target: remove it unless committed
    GsfObject<GsfOutput> m_sink;
    GsfObject<GsfOutfile> m_ole;
    OleStreamWriter* m_active = nullptr;  // the stream open for writing, not owned
    std::set<std::u16string> m_names;
    bool m_failed = false;
    bool m_finished = false;
    bool m_committed = false;
};

}  // namespace plat
