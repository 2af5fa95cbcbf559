#pragma once
// Structured-storage files (compound files of the published format): a root
// storage holding named streams. Only what the engine's data files need:
// create a file with named streams, open one of its streams for reading, and
// sequential reads and writes.
//
// Differences from a direct-mode storage that callers must know:
// - A storage created for writing reaches the disk only through Commit, which
//   replaces the file as a whole (written beside it, then renamed over it).
//   Released without a successful Commit, the file keeps what it held before.
// - Both openings are share-exclusive (an advisory lock on the file): while a
//   storage is open, a second opening of the same file fails with
//   STG_E_SHAREVIOLATION, in this process or another.
// - A storage opened for writing has one stream open for writing at a time.
#include "platform/com/Unknown.h"

// Opening modes (the combinations the engine uses).
inline constexpr DWORD STGM_READ = 0x00000000;
inline constexpr DWORD STGM_WRITE = 0x00000001;
inline constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010;
inline constexpr DWORD STGM_CREATE = 0x00001000;

inline constexpr DWORD STGC_DEFAULT = 0;

inline constexpr HRESULT STG_E_PATHNOTFOUND = MakeHResult(0x80030003u);
inline constexpr HRESULT STG_E_INVALIDNAME = MakeHResult(0x800300FCu);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = MakeHResult(0x80030050u);
inline constexpr HRESULT STG_E_REVERTED = MakeHResult(0x80030102u);
inline constexpr HRESULT STG_E_DOCFILETOOLARGE = MakeHResult(0x80030111u);
inline constexpr HRESULT STG_E_INVALIDFUNCTION = MakeHResult(0x80030001u);

// {0C733A30-2A1C-11CE-ADE5-00AA0044773D}
inline constexpr IID IID_ISequentialStream{0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
// {0000000C-0000-0000-C000-000000000046}
inline constexpr IID IID_IStream{0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {0000000B-0000-0000-C000-000000000046}
inline constexpr IID IID_IStorage{0x0000000B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct ISequentialStream : IUnknown {
    static constexpr const IID& kIID = IID_ISequentialStream;
    // Reads up to cb bytes; *pcbRead (optional) gets the count really read,
    // fewer than cb at the end of the stream (a short read is not an error).
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    // Writes cb bytes; *pcbWritten (optional) gets the count really written.
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IStream : ISequentialStream {
    static constexpr const IID& kIID = IID_IStream;
};

struct IStorage : IUnknown {
    static constexpr const IID& kIID = IID_IStorage;
    // A new stream for writing (mode STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE).
    // Names are at most 31 characters and unique within the storage.
    virtual HRESULT CreateStream(const OLECHAR* name, DWORD mode, IStream** ppStream) = 0;
    // An existing stream for reading (mode STGM_READ | STGM_SHARE_EXCLUSIVE).
    virtual HRESULT OpenStream(const OLECHAR* name, DWORD mode, IStream** ppStream) = 0;
    // Writes the whole storage to its file. Streams still open are closed
    // first; afterwards the storage takes no more streams.
    virtual HRESULT Commit(DWORD flags) = 0;
};

// Creates a compound file for writing (mode STGM_CREATE | STGM_WRITE |
// STGM_SHARE_EXCLUSIVE). *ppStorage gets a new reference.
HRESULT StgCreateDocfile(const OLECHAR* path, DWORD mode, IStorage** ppStorage);
// Opens a compound file for reading (mode STGM_READ | STGM_SHARE_EXCLUSIVE).
HRESULT StgOpenStorage(const OLECHAR* path, DWORD mode, IStorage** ppStorage);
