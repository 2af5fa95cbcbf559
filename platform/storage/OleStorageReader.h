#pragma once
// A compound file opened for reading. The file is read into memory once and
// held locked (share-exclusive) until the storage and its streams are released.
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input.h>

#include <string>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/fs/File.h"
#include "platform/storage/GsfObject.h"
#include "platform/storage/Storage.h"

namespace plat {

class OleStorageReader : public ComObject<OleStorageReader, IStorage> {
public:
    // Files above this size are not data files of the engine and are refused.
    static constexpr uint64_t kMaxFileSize = 256ull << 20;

    static HRESULT Open(const std::u16string& path, IStorage** out);

    HRESULT CreateStream(const OLECHAR* name, DWORD mode, IStream** ppStream) override;
    HRESULT OpenStream(const OLECHAR* name, DWORD mode, IStream** ppStream) override;
    HRESULT Commit(DWORD flags) override;

private:
    friend class ComObject<OleStorageReader, IStorage>;
    OleStorageReader() = default;
    ~OleStorageReader() override;

    File m_lock;
    std::vector<uint8_t> m_bytes;  // the file; the library reads from it in place
    GsfObject<GsfInput> m_source;
    GsfObject<GsfInfile> m_ole;
};

}  // namespace plat
