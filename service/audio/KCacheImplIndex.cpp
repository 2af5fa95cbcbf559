// The index file of a cache buffer: its chain in run-length form, its
// positions and its file numbers, kept as a stored record so that the cache
// survives a restart.
#include <algorithm>
#include <limits>

#include "log/DirUtils.h"
#include "log/KLock.h"
#include "log/Trace.h"
#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "service/audio/KCacheImpl.h"
#include "service/foundation/ClassFactory.h"
#include "service/foundation/KStgArchive.h"

namespace {

constexpr const char16_t* kStreamName = u"kq47tt2mpawrel8106dxxsb";
constexpr const char16_t* kRootName = u"\\Settings1";

const ser::KClassRegistrar kRegisterCacheImpl(u"KCacheImpl", &ser::CreateSerializable<KCacheImpl>);

}  // namespace

void KCacheImpl::DefineProperties() {
    AddProperty(u"m_vGroupFiles", &m_vGroupFiles);
    AddProperty(u"m_nFileID", &m_nFileID);
    AddProperty(u"m_nFileIDFirst", &m_nFileIDFirst);
    AddProperty(u"m_nFileIDIndex", &m_nFileIDIndex);
    AddProperty(u"m_llWritePosition", &m_llWritePosition);
    AddProperty(u"m_llReadPosition", &m_llReadPosition);
    AddProperty(u"m_llStartPos", &m_llStartPos);
    AddProperty(u"m_bLive", &m_bLive);
    AddProperty(u"m_bCanLive", &m_bCanLive);
}

std::u16string KCacheImpl::GetClassName() const { return u"KCacheImpl"; }

void KCacheImpl::FillGroupFiles() {
    KBufferLock lock(*this);
    m_vGroupFiles.clear();
    for (const SGroupFile& g : GetGroups()) m_vGroupFiles.push_back(std::make_unique<SGroupFile>(g.bVirtual, g.nSize));
    // The first group starts at the stored start position.
    if (!m_vFiles.empty()) m_llStartPos = m_vFiles.front()->llStart;
}

void KCacheImpl::OnAfterLoad(ser::ELoadResult result) {
    if (result != ser::lr_ok) return;
    m_hrRebuild = RebuildChain();
}

HRESULT KCacheImpl::RebuildChain() {
    KBufferLock lock(*this);
    m_vFiles.clear();
    m_nOpenFiles = 0;
    m_llDiskBytes = 0;
    m_strCacheDir = m_strCacheFolder + kDataFolder;

    // Everything read from the index is checked before it sizes anything.
    bool sound = m_nFileIDFirst >= 1 && m_nFileIDFirst <= kMaxFileID && m_nFileID <= kMaxFileID &&
                 m_nFileIDIndex < kMiddleNumbers;
    ULONGLONG realFiles = 0;
    for (const auto& g : m_vGroupFiles) {
        if (!sound) break;
        if (!g) {
            sound = false;
        } else if (!g->bVirtual) {
            realFiles += g->nSize;
            // More files than numbers would open one file twice.
            if (g->nSize > kMaxFileID || realFiles > kMaxFileID) sound = false;
        }
    }
    if (!sound) {
        TQ_TRACE_BOOL("m_vGroupFiles");
        ResetToEmpty();
        return E_FAIL;
    }

    ULONGLONG position = m_llStartPos;
    DWORD fileNo = m_nFileIDFirst;
    for (const auto& g : m_vGroupFiles) {
        if (g->bVirtual) {
            if (g->nSize > std::numeric_limits<ULONGLONG>::max() - position) {
                TQ_TRACE_BOOL("nSize");
                ResetToEmpty();
                return E_FAIL;
            }
            AppendVirtualRecord(position, g->nSize);
            position += g->nSize;
            continue;
        }
        for (ULONGLONG k = 0; k < g->nSize; ++k) {
            auto record = std::make_unique<SCacheFile>();
            record->strName = m_strFilePrefix + plat::WFormat(u"%d_%.6d.cah", static_cast<int>(m_nFileIDIndex),
                                                              static_cast<int>(fileNo));
            record->strPath = m_strCacheDir + record->strName;
            record->llStart = position;
            uint64_t size = 0;
            plat::File probe;
            if (probe.Open(record->strPath, plat::FileAccess::ReadWrite, plat::FileCreation::OpenExisting,
                           plat::ShareReadWrite) &&
                probe.Size(&size)) {
                // Each file counts with its real size, so later records keep
                // their places whatever a file lacked.
                record->llSize = std::min<ULONGLONG>(size, CACHE_FILE_MAX_BYTE);
                m_llDiskBytes += record->llSize;
            } else {
                // Absent: the file keeps its place and number, read as silence.
                record->bMissing = TRUE;
                record->llSize = CACHE_FILE_MAX_BYTE;
            }
            if (record->llSize > std::numeric_limits<ULONGLONG>::max() - position) {
                TQ_TRACE_BOOL("llSize");
                ResetToEmpty();
                return E_FAIL;
            }
            position += record->llSize;
            m_vFiles.push_back(std::move(record));
            fileNo = NextFileID(fileNo);
        }
    }

    // Files missing at the front were trimmed after the index was written,
    // with any silence between them; at the end, they were never written.
    // Neither holds anything.
    size_t trimmed = 0;
    for (size_t i = 0; i < m_vFiles.size(); ++i) {
        const SCacheFile& r = *m_vFiles[i];
        if (r.bMissing) trimmed = i + 1;
        else if (r.IsReal()) break;
    }
    while (trimmed-- > 0) RemoveFirst();
    while (!m_vFiles.empty() && m_vFiles.back()->bMissing) m_vFiles.pop_back();
    if (m_vFiles.empty()) {
        const DWORD index = m_nFileIDIndex;
        const BOOL live = m_bLive, canLive = m_bCanLive;
        ResetToEmpty();
        m_nFileIDIndex = index;
        m_bLive = live;
        m_bCanLive = canLive;
        return S_OK;
    }

    const auto real = static_cast<ULONGLONG>(
        std::count_if(m_vFiles.begin(), m_vFiles.end(), [](const auto& r) { return r->IsReal(); }));
    if (real > 0) m_nFileID = static_cast<DWORD>((m_nFileIDFirst - 1 + real - 1) % kMaxFileID + 1);

    // The chain on disk is the truth: positions follow it.
    m_llStartPos = m_vFiles.front()->llStart;
    m_llWritePosition = m_vFiles.back()->End();
    m_llReadPosition = std::clamp(m_llReadPosition, m_llStartPos, m_llWritePosition);
    return S_OK;
}

HRESULT KCacheImpl::SaveStructure() {
    std::u16string path, folder, dataDir;
    {
        KBufferLock lock(*this);
        path = m_strSettingsFN;
        folder = m_strCacheFolder;
        dataDir = m_strCacheDir;
    }
    if (path.empty()) {
        // The buffer was never loaded, so it has no index file to write.
        TQ_TRACE_HR("E_UNEXPECTED");
        return E_UNEXPECTED;
    }
    plat::CreateDirectory(folder);
    dirUtils::createDirRecursive(dataDir);

    // The index is saved every few seconds: it is taken in memory first, and
    // a file that already holds it is left alone.
    ser::KRecordTape tape;
    bool bSave = false;
    ULONGLONG changes = 0;
    {
        KBufferLock lock(*this);
        FillGroupFiles();
        changes = m_nChanges;
        bSave = save(&tape, kRootName);
        m_vGroupFiles.clear();
    }
    HRESULT hr;
    {
        KBufferLock lock(*this);
        if (bSave && m_lastSaved.Holds(path, tape)) {
            m_nSavedChanges = changes;
            return S_OK;
        }
        m_lastSaved.Forget();
    }
    ser::KStgArchive archive;
    if (TQ_FAILED(hr, archive.open4write(path, kStreamName))) {
        TQ_TRACE_HR("archive.open4write(m_strSettingsFN)");
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, hr, path);
        return hr;
    }
    if (bSave) bSave = tape.PlayTo(&archive);
    if (!bSave) {
        DWORD err = plat::GetLastError();
        TQ_TRACE_BOOL("bSave");
        TQ_REPORT_FORMATTED(EC_SAVE_DATA_FILE, err, path);
        archive.close(false);
        return plat::HResultFromError(err);
    }
    if (TQ_FAILED(hr, archive.close(true))) {
        TQ_REPORT_FORMATTED(EC_SAVE_DATA_FILE, hr, path);
        return hr;
    }
    KBufferLock lock(*this);
    m_nSavedChanges = changes;
    m_lastSaved.Remember(path, tape);
    return S_OK;
}

HRESULT KCacheImpl::LoadStructure(int nNumber) {
    KBufferLock lock(*this);
    if (m_nCacheNumber < 0) m_nCacheNumber = nNumber;
    const std::u16string number = plat::WFormat(u"%i", m_nCacheNumber);
    m_strSettingsFN = m_strCacheDir + u"QXCacheStructure" + number + u".dat";
    m_strFilePrefix = plat::WFormat(u"CasheFile_%s_", number.c_str());

    ResetToEmpty();
    m_nSavedChanges = m_nChanges;
    m_lastSaved.Forget();
    // Files that would not go belong to the folder they were in; the sweep
    // after the load finds those of this folder again.
    RetryLeftovers();
    m_vLeftovers.clear();

    {
        plat::File probe;
        if (!probe.Open(m_strSettingsFN, plat::FileAccess::Read, plat::FileCreation::OpenExisting, plat::ShareRead)) {
            DWORD err = plat::GetLastError();
            TQ_TRACE_BOOL("FALSE");
            TQ_REPORT_SYSTEM(EC_OPEN_FILE, err, m_strSettingsFN);
            // The backup copy may still be readable.
        }
    }

    const DWORD index = m_nFileIDIndex;
    const BOOL live = m_bLive, canLive = m_bCanLive;
    // A copy that loads but whose chain cannot be rebuilt is as damaged as
    // one that does not load: the other copy is tried.
    auto reset = [&] {
        ResetToEmpty();
        m_nFileIDIndex = index;
        m_bLive = live;
        m_bCanLive = canLive;
        m_vGroupFiles.clear();
        m_hrRebuild = E_FAIL;
    };
    m_hrRebuild = E_FAIL;
    const ser::SLoadOutcome loaded = ser::KStgArchive::LoadRecord(*this, m_strSettingsFN, kStreamName, kRootName,
                                                                  {reset, [this] { return SUCCEEDED(m_hrRebuild); }});
    if (!loaded.opened) {
        TQ_TRACE_HR("E_FAIL");
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, E_FAIL, m_strSettingsFN);
        return E_FAIL;
    }
    if (loaded.result != ser::lr_ok) {
        TQ_TRACE_BOOL("ser::lr_ok == load(&archive, strRoot)");
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, 0, m_strSettingsFN);
        // Nothing half loaded stays: the buffer is empty and consistent.
        reset();
        m_nSavedChanges = m_nChanges;
        return E_FAIL;
    }
    m_vGroupFiles.clear();
    // Only a chain that loaded says which files are unused; after a failed
    // load the old files are left for the new chain to overwrite.
    SweepUnnamedFiles();
    m_nSavedChanges = m_nChanges;
    return S_OK;
}
