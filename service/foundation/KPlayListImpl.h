#pragma once
// The stored side of the playlist: the live songs in playlist order, one
// stored record per song beside them (record i describes song i), the id of
// the current song, and the playlist file "QXCache/QXPlaylist.dat" under the
// playlist folder. Every operation holds the playlist's lock (re-entrant);
// the lock order is playlist, then song, then tag.
//
// A stored playlist that could not be read is never replaced by an empty
// one: after a load that left the playlist empty although a stored file
// exists, saving writes nothing until the list is changed (a song created or
// deleted, the list cleared) or a later load succeeds.
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Sync.h"
#include "service/foundation/KRecordTape.h"
#include "service/foundation/KSerializable.h"
#include "service/foundation/SSongInfo.h"

class KPlayListImpl : public ser::KSerializable {
public:
    static constexpr const char16_t* kFileName = u"QXCache/QXPlaylist.dat";

    KPlayListImpl();
    ~KPlayListImpl() override;
    KPlayListImpl(const KPlayListImpl&) = delete;
    KPlayListImpl& operator=(const KPlayListImpl&) = delete;

    void DefineProperties() override;
    void OnAfterLoad(ser::ELoadResult result) override;
    void OnBeforeSave() override;
    std::u16string GetClassName() const override { return u"KPlayListImpl"; }

    // Writes the playlist file; the file changes only after a complete write.
    // S_FALSE when nothing was written to keep an unreadable stored playlist.
    HRESULT Save();
    // Replaces the playlist by the file's content (or its backup's, when the
    // file does not load cleanly). A damaged file loads every song it can;
    // the call then fails after its report, with those songs in the list.
    HRESULT Load();

    // Appends a new song (and, unless loading, a new record for it); the
    // caller gets a reference through ppSong when it is given.
    HRESULT CreateNewSong(ISong** ppSong, BOOL bLoading);
    // Empties the playlist and deletes the playlist file (its backup stays).
    void Clear();
    // The folder, ending with the separator, under which the file lives.
    void SetPlayListDir(const std::u16string& dir);

    ULONG Count();
    // The first song with that id, with a new reference; null when none.
    plat::ComPtr<ISong> Find(const GUID& guid);
    HRESULT Delete(const GUID& guid);
    // The navigation position moved one forward or back, or to the first or
    // last song: the id of the song there, or the null id when there is none.
    enum class Move { Next, Prev, First, Last };
    GUID Navigate(Move move);
    void SetCurrentID(const GUID& guid);
    GUID GetCurrentID();
    std::vector<plat::ComPtr<ISong>> Songs();

    std::u16string SaveFileName();

    plat::Mutex m_hMutex;

private:
    void EmptyLists();

    std::vector<plat::ComPtr<ISong>> m_vPlayList;
    std::vector<SSongInfo> m_vPlayListInfo;
    GUID m_guidCurrent = GUID_NULL;
    std::u16string m_strSaveFileName;
    ULONG m_nCurrent = 0;
    std::u16string m_strPlayListDir;
    bool m_bKeepStoredFile = false;
    // What the last successful save wrote, and where.
    ser::KSavedRecord m_lastSaved;
};
