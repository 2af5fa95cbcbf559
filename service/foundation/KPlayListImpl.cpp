#include "service/foundation/KPlayListImpl.h"

#include "log/DirUtils.h"
#include "log/KLock.h"
#include "log/Trace.h"
#include "platform/fs/File.h"
#include "service/foundation/ClassFactory.h"
#include "service/foundation/KID3.h"
#include "service/foundation/KSong.h"
#include "service/foundation/KSongInfoListProperty.h"
#include "service/foundation/KRecordTape.h"
#include "service/foundation/KStgArchive.h"

namespace {

const ser::KClassRegistrar kRegister(u"KPlayListImpl", &ser::CreateSerializable<KPlayListImpl>);

// Win32 ERROR_INVALID_DATA: what a playlist file that does not load cleanly is.
constexpr DWORD kErrorInvalidData = 13;

std::u16string TextOf(ID3* tag, HRESULT (ID3::*get)(BSTR*)) {
    plat::Bstr text;
    if (FAILED((tag->*get)(text.Out()))) return std::u16string();
    return text.Str();  // a null string counts as empty
}

void SetText(ID3* tag, HRESULT (ID3::*set)(BSTR), const std::u16string& value) {
    plat::Bstr text(value);
    if (!text.Get()) {
        TQ_TRACE_HR("E_OUTOFMEMORY");
        TQ_REPORT(EC_INTERNAL, E_OUTOFMEMORY, u"Cannot copy the string");
        return;
    }
    (tag->*set)(text);
}

}  // namespace

KPlayListImpl::KPlayListImpl() {
    m_strPlayListDir = GetAppDataDir().Str();
    m_strSaveFileName = m_strPlayListDir + kFileName;
}

KPlayListImpl::~KPlayListImpl() {
    KLock lock(m_hMutex);
    EmptyLists();
}

void KPlayListImpl::DefineProperties() {
    AddProperty(std::make_unique<KSongInfoListProperty>(u"m_vPlayListInfo", &m_vPlayListInfo));
    AddProperty(u"m_guidCurrent", &m_guidCurrent);
}

void KPlayListImpl::EmptyLists() {
    m_vPlayListInfo.clear();
    m_vPlayList.clear();
    m_guidCurrent = GUID_NULL;
    m_nCurrent = 0;
}

void KPlayListImpl::OnBeforeSave() {
    KLock lock(m_hMutex);
    m_vPlayListInfo.resize(m_vPlayList.size());  // one record per song, always
    for (size_t i = 0; i < m_vPlayList.size(); ++i) {
        ISong* song = m_vPlayList[i].Get();
        SSongInfo& info = m_vPlayListInfo[i];
        song->GetBorders(&info.dwLeftBorder, &info.dwRightBorder);
        LONG defined = 0;
        if (SUCCEEDED(song->IsDefined(&defined))) info.bDefined = defined;
        plat::ComPtr<ID3> tag;
        // Without its tag a record keeps the tag fields it had.
        if (FAILED(song->GetID3Tag(tag.ReleaseAndGetAddressOf())) || !tag) continue;
        tag->GetTrackNumber(&info.nTrack);
        tag->GetYear(&info.nYear);
        info.strArtist = TextOf(tag.Get(), &ID3::GetArtist);
        info.strTitle = TextOf(tag.Get(), &ID3::GetTitle);
        info.strAlbum = TextOf(tag.Get(), &ID3::GetAlbum);
        info.strGenre = TextOf(tag.Get(), &ID3::GetGenre);
    }
}

void KPlayListImpl::OnAfterLoad(ser::ELoadResult result) {
    KLock lock(m_hMutex);
    // The record list holds only records that loaded; songs are made for all
    // of them whatever else in the file was damaged.
    m_vPlayList.clear();
    for (size_t i = 0; i < m_vPlayListInfo.size();) {
        const SSongInfo& info = m_vPlayListInfo[i];
        plat::ComPtr<ISong> song;
        if (FAILED(CreateNewSong(song.ReleaseAndGetAddressOf(), TRUE)) || !song) {
            TQ_TRACE_HR("hr");
            TQ_REPORT(EC_INTERNAL, E_FAIL, u"Cannot create song");
            // The record goes too, so that records and songs stay in step.
            m_vPlayListInfo.erase(m_vPlayListInfo.begin() + static_cast<ptrdiff_t>(i));
            continue;
        }
        song->SetLeftBorder(info.dwLeftBorder);
        song->SetRightBorder(info.dwRightBorder);
        song->SetDefined(info.bDefined);  // after the borders, which set it
        plat::ComPtr<ID3> tag;
        if (SUCCEEDED(song->GetID3Tag(tag.ReleaseAndGetAddressOf())) && tag) {
            tag->SetTrackNumber(info.nTrack);
            SetText(tag.Get(), &ID3::SetTitle, info.strTitle);
            SetText(tag.Get(), &ID3::SetArtist, info.strArtist);
            SetText(tag.Get(), &ID3::SetAlbum, info.strAlbum);
            SetText(tag.Get(), &ID3::SetGenre, info.strGenre);
            tag->SetYear(info.nYear);
        }
        ++i;
    }
}

HRESULT KPlayListImpl::Save() {
    KLock lock(m_hMutex);
    if (m_bKeepStoredFile) return S_FALSE;
    // The playlist is saved every few seconds; a file that already holds
    // what it would hold now is left alone.
    ser::KRecordTape tape;
    HRESULT hr;
    if (TQ_FALSE(save(&tape, ser::kRootName))) {
        hr = plat::HResultFromLastError();
        TQ_REPORT_FORMATTED(EC_SAVE_DATA_FILE, hr, m_strSaveFileName);
        return hr;
    }
    if (m_lastSaved.Holds(m_strSaveFileName, tape)) return S_OK;
    m_lastSaved.Forget();
    dirUtils::createDirRecursive(plat::DirName(m_strSaveFileName));
    ser::KStgArchive archive;
    if (TQ_FAILED(hr, archive.open4write(m_strSaveFileName, ser::kDataStreamName))) {
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, hr, m_strSaveFileName);
        return hr;
    }
    if (TQ_FALSE(tape.PlayTo(&archive))) {
        hr = plat::HResultFromLastError();
        archive.close(false);  // the playlist file keeps its previous content
        TQ_REPORT_FORMATTED(EC_SAVE_DATA_FILE, hr, m_strSaveFileName);
        return hr;
    }
    if (TQ_FAILED(hr, archive.close(true))) {
        TQ_REPORT_FORMATTED(EC_SAVE_DATA_FILE, hr, m_strSaveFileName);
        return hr;
    }
    m_lastSaved.Remember(m_strSaveFileName, tape);
    return S_OK;
}

HRESULT KPlayListImpl::Load() {
    KLock lock(m_hMutex);
    const std::u16string& path = m_strSaveFileName;
    const std::u16string backup = path + ser::kBackupSuffix;
    {
        plat::File probe;
        if (!probe.Open(path, plat::FileAccess::Read, plat::FileCreation::OpenExisting, plat::ShareRead)) {
            DWORD err = plat::GetLastError();
            TQ_TRACE_BOOL("FALSE");
            TQ_REPORT_SYSTEM(EC_OPEN_FILE, err, path);
        }
    }
    bool stored = plat::PathExists(path) || plat::PathExists(backup);
    EmptyLists();
    m_lastSaved.Forget();
    const ser::SLoadOutcome loaded =
        ser::KStgArchive::LoadRecord(*this, path, ser::kDataStreamName, ser::kRootName, {[this] { EmptyLists(); }, {}});
    if (!loaded.opened) {
        TQ_TRACE_HR("E_FAIL");
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, E_FAIL, path);
        m_bKeepStoredFile = stored;
        return E_FAIL;
    }
    if (TQ_FALSE(ser::lr_ok == loaded.result)) {
        plat::SetLastError(kErrorInvalidData);
        HRESULT hr = plat::HResultFromLastError();
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, 0, path);
        m_bKeepStoredFile = m_vPlayList.empty() && stored;
        return hr;
    }
    m_bKeepStoredFile = false;
    return S_OK;
}

HRESULT KPlayListImpl::CreateNewSong(ISong** ppSong, BOOL bLoading) {
    KLock lock(m_hMutex);
    plat::ComPtr<ISong> song(CreateSongObject());
    if (!song) {
        TQ_TRACE_HR("E_FAIL");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Cannot create COM-object");
        return E_FAIL;
    }
    if (!bLoading) {
        m_vPlayListInfo.emplace_back();
        m_bKeepStoredFile = false;
    }
    m_vPlayList.push_back(song);
    if (ppSong) *ppSong = song.Detach();
    return S_OK;
}

void KPlayListImpl::Clear() {
    KLock lock(m_hMutex);
    EmptyLists();
    m_bKeepStoredFile = false;
    if (plat::IsFile(m_strSaveFileName) && !plat::DeleteFile(m_strSaveFileName)) {
        DWORD err = plat::GetLastError();
        TQ_TRACE_BOOL("DeleteFile");
        TQ_REPORT_SYSTEM(EC_DELETE_FILE, err, m_strSaveFileName);
    }
}

void KPlayListImpl::SetPlayListDir(const std::u16string& dir) {
    KLock lock(m_hMutex);
    if (dir == m_strPlayListDir) return;
    m_strPlayListDir = dir;
    m_strSaveFileName = dir + kFileName;
}

ULONG KPlayListImpl::Count() {
    KLock lock(m_hMutex);
    return static_cast<ULONG>(m_vPlayList.size());
}

plat::ComPtr<ISong> KPlayListImpl::Find(const GUID& guid) {
    KLock lock(m_hMutex);
    for (const auto& song : m_vPlayList) {
        GUID id = GUID_NULL;
        if (SUCCEEDED(song->GetID(&id)) && id == guid) return song;
    }
    return nullptr;
}

HRESULT KPlayListImpl::Delete(const GUID& guid) {
    KLock lock(m_hMutex);
    for (size_t i = 0; i < m_vPlayList.size(); ++i) {
        GUID id = GUID_NULL;
        if (FAILED(m_vPlayList[i]->GetID(&id)) || id != guid) continue;
        m_vPlayList.erase(m_vPlayList.begin() + static_cast<ptrdiff_t>(i));
        if (i < m_vPlayListInfo.size()) m_vPlayListInfo.erase(m_vPlayListInfo.begin() + static_cast<ptrdiff_t>(i));
        m_bKeepStoredFile = false;
        return S_OK;
    }
    return E_FAIL;
}

GUID KPlayListImpl::Navigate(Move move) {
    KLock lock(m_hMutex);
    const size_t n = m_vPlayList.size();
    if (n == 0) return GUID_NULL;
    switch (move) {
        case Move::Next:
            if (m_nCurrent + 1 >= n) return GUID_NULL;
            ++m_nCurrent;
            break;
        case Move::Prev:
            if (m_nCurrent == 0 || m_nCurrent - 1 >= n) return GUID_NULL;
            --m_nCurrent;
            break;
        case Move::First: m_nCurrent = 0; break;
        case Move::Last: m_nCurrent = static_cast<ULONG>(n - 1); break;
    }
    GUID id = GUID_NULL;
    plat::ComPtr<ISong> song;
    if (SUCCEEDED(m_vPlayList[m_nCurrent].As(&song)) && song) song->GetID(&id);
    return id;
}

void KPlayListImpl::SetCurrentID(const GUID& guid) {
    KLock lock(m_hMutex);
    m_guidCurrent = guid;
}

GUID KPlayListImpl::GetCurrentID() {
    KLock lock(m_hMutex);
    return m_guidCurrent;
}

std::vector<plat::ComPtr<ISong>> KPlayListImpl::Songs() {
    KLock lock(m_hMutex);
    return m_vPlayList;
}

std::u16string KPlayListImpl::SaveFileName() {
    KLock lock(m_hMutex);
    return m_strSaveFileName;
}
