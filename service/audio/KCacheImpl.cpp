#include "service/audio/KCacheImpl.h"

#include <algorithm>
#include <cstring>

#include "log/DirUtils.h"
#include "log/KLock.h"
#include "log/Trace.h"
#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"

namespace {

// A chain longer than this moves on to the next middle number when cleared.
constexpr size_t kClearRenameRecords = 10;
// How long an ending buffer waits for a deleter before saying so.
constexpr DWORD kDeleterJoinMs = 10000;

}  // namespace

// A thread that deletes the data files of a cleared chain.
struct KCacheImpl::SDeleter {
    Chain records;
    Leftovers left;    // files it could not delete, taken over when reaped
    DWORD nIndex = 0;  // the middle number of the files it deletes
    plat::Thread thread;
};

KCacheImpl::KCacheImpl() {
    m_strCacheFolder = plat::WithTrailingSeparator(GetAppDataDir().Str());
    m_strCacheDir = m_strCacheFolder + kDataFolder;
}

KCacheImpl::~KCacheImpl() {
    {
        KBufferLock lock(*this);
        m_vFiles.clear();
        m_nOpenFiles = 0;
        FreeGroupFiles();
    }
    ReapDeleters(true);
}

DWORD KCacheImpl::NextFileID(DWORD id) {
    ++id;
    return id > kMaxFileID ? 1 : id;
}

HRESULT KCacheImpl::SetCacheDir(const std::u16string& folder) {
    if (folder.empty()) return E_INVALIDARG;
    KBufferLock lock(*this);
    m_strCacheFolder = plat::WithTrailingSeparator(folder);
    m_strCacheDir = m_strCacheFolder + kDataFolder;
    return S_OK;
}

std::u16string KCacheImpl::GetCacheFolder() const {
    KBufferLock lock(*this);
    return m_strCacheFolder;
}

std::u16string KCacheImpl::GetDataDir() const {
    KBufferLock lock(*this);
    return m_strCacheDir;
}

std::u16string KCacheImpl::MakeFileName(bool bNext) {
    KBufferLock lock(*this);
    if (bNext) m_nFileID = NextFileID(m_nFileID);
    return m_strFilePrefix +
           plat::WFormat(u"%d_%.6d.cah", static_cast<int>(m_nFileIDIndex), static_cast<int>(m_nFileID));
}

bool KCacheImpl::OpenRecordFile(SCacheFile& record) {
    if (record.bVirtual || record.bMissing) {
        plat::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    record.llLastUse = ++m_llUseClock;
    if (record.hFile.IsOpen()) return true;
    MakeRoomForFile();
    if (!record.hFile.Open(record.strPath, plat::FileAccess::ReadWrite, plat::FileCreation::OpenExisting,
                           plat::ShareReadWrite)) {
        return false;
    }
    ++m_nOpenFiles;
    return true;
}

void KCacheImpl::MakeRoomForFile() {
    while (m_nOpenFiles >= kMaxOpenFiles) {
        SCacheFile* oldest = nullptr;
        for (auto& r : m_vFiles) {
            if (r->hFile.IsOpen() && (!oldest || r->llLastUse < oldest->llLastUse)) oldest = r.get();
        }
        if (!oldest) {
            m_nOpenFiles = 0;  // nothing of the chain is open after all
            return;
        }
        CloseRecordFile(*oldest);
    }
}

void KCacheImpl::CloseRecordFile(SCacheFile& record) {
    if (record.hFile.IsOpen()) {
        record.hFile.Close();
        if (m_nOpenFiles > 0) --m_nOpenFiles;
    }
}

SCacheFile* KCacheImpl::AddFile(ULONGLONG position) {
    KBufferLock lock(*this);
    // Numbers wrap after kMaxFileID: a chain that holds that many files
    // would hand out the name of its own oldest file.
    size_t real = static_cast<size_t>(
        std::count_if(m_vFiles.begin(), m_vFiles.end(), [](const auto& r) { return r->IsReal(); }));
    if (real >= kMaxFileID) {
        plat::SetLastError(ERROR_FILE_EXISTS);
        TQ_TRACE_BOOL("FALSE");
        TQ_REPORT_SYSTEM(EC_CREATE_FILE, ERROR_FILE_EXISTS, m_strCacheDir + MakeFileName(false));
        return nullptr;
    }
    const DWORD previousID = m_nFileID;
    auto record = std::make_unique<SCacheFile>();
    record->strName = MakeFileName(true);
    record->strPath = m_strCacheDir + record->strName;
    record->llStart = position;
    MakeRoomForFile();
    if (!record->hFile.Open(record->strPath, plat::FileAccess::ReadWrite, plat::FileCreation::CreateAlways,
                            plat::ShareReadWrite)) {
        DWORD err = plat::GetLastError();
        // The number goes back, so that the data files of the chain keep
        // consecutive numbers (the index stores only their count).
        m_nFileID = previousID;
        TQ_TRACE_BOOL("FALSE");
        TQ_REPORT_SYSTEM(EC_CREATE_FILE, err, record->strPath);
        plat::SetLastError(err);
        return nullptr;
    }
    ++m_nOpenFiles;
    // A file left over from a clear under this name is emptied by the new one.
    std::erase_if(m_vLeftovers, [&](const SLeftover& l) {
        if (l.strPath != record->strPath) return false;
        m_llDiskBytes -= std::min(l.llSize, m_llDiskBytes);
        return true;
    });
    record->llLastUse = ++m_llUseClock;
    m_vFiles.push_back(std::move(record));
    Changed();
    return m_vFiles.back().get();
}

HRESULT KCacheImpl::Write(DWORD bytes, const BYTE* data) {
    if (bytes == 0) return S_OK;
    if (!data) {
        TQ_TRACE_HR("E_POINTER");
        TQ_REPORT(EC_INTERNAL, E_POINTER, u"Invalid pointer");
        return E_POINTER;
    }
    const BYTE* current = data;
    DWORD left = bytes;
    while (left > 0) {
        KBufferLock lock(*this);
        SCacheFile* target = nullptr;
        if (!m_vFiles.empty()) {
            SCacheFile& last = *m_vFiles.back();
            if (last.IsReal() && !last.bMissing && last.llSize < CACHE_FILE_MAX_BYTE) target = &last;
        }
        if (!target) {
            if (!dirUtils::createDirRecursive(m_strCacheDir)) {
                DWORD err = plat::GetLastError();
                TQ_TRACE_BOOL("dirUtils::createDirRecursive(m_strCacheDir)");
                TQ_REPORT_SYSTEM(EC_CREATE_FOLDER, err, m_strCacheDir);
                return plat::HResultFromError(err);
            }
            // A new record always starts at the write position.
            target = AddFile(m_llWritePosition);
            if (!target) {
                DWORD err = plat::GetLastError();
                TQ_TRACE_HR("E_FAIL");
                TQ_REPORT(EC_INTERNAL, E_FAIL, u"Cannot add file to cache");
                return err ? plat::HResultFromError(err) : E_FAIL;
            }
        }
        if (!OpenRecordFile(*target)) {
            DWORD err = plat::GetLastError();
            TQ_TRACE_BOOL("FALSE");
            TQ_REPORT_SYSTEM(EC_OPEN_FILE, err, target->strPath);
            return plat::HResultFromError(err);
        }
        DWORD n = static_cast<DWORD>(std::min<ULONGLONG>(left, CACHE_FILE_MAX_BYTE - target->llSize));
        uint32_t written = 0;
        bool ok = target->hFile.WriteAt(target->llSize, current, n, &written);
        DWORD err = plat::GetLastError();
        if (written > 0) {
            target->llSize += written;
            m_llDiskBytes += written;
            m_llWritePosition += written;
            if (m_bLive) m_llReadPosition = m_llWritePosition;
            current += written;
            left -= written;
            Changed();
        }
        if (!ok) {
            TQ_TRACE_BOOL("WriteFile(pRecFile->hFile, pCurrent, lBytesThisFile, &dwRealWrite, NULL)");
            TQ_REPORT_SYSTEM(EC_WRITE_FILE, err, target->strPath);
            return plat::HResultFromError(err);
        }
    }
    return S_OK;
}

HRESULT KCacheImpl::ReserveSpace(ULONGLONG bytes) {
    KBufferLock lock(*this);
    AddVirtualSpace(m_llWritePosition, bytes);
    m_llWritePosition += bytes;
    if (m_bLive) m_llReadPosition = m_llWritePosition;
    Changed();
    return S_OK;
}

SCacheFile* KCacheImpl::AddVirtualSpace(ULONGLONG position, ULONGLONG bytes) {
    KBufferLock lock(*this);
    if (!m_vFiles.empty() && m_vFiles.back()->IsReal()) {
        SCacheFile& last = *m_vFiles.back();
        // Nothing to reserve leaves the chain as it is: an empty record would
        // end the file early, and the next write would start a new one.
        if (bytes == 0) return &last;
        if (!last.bMissing && last.llSize < CACHE_FILE_MAX_BYTE) {
            const ULONGLONG fill = std::min<ULONGLONG>(bytes, CACHE_FILE_MAX_BYTE - last.llSize);
            if (ExtendWithSilence(last, fill)) {
                position += fill;
                bytes -= fill;
                Changed();
                if (bytes == 0) return &last;
            }
        }
    }
    return AppendVirtualRecord(position, bytes);
}

bool KCacheImpl::ExtendWithSilence(SCacheFile& record, ULONGLONG bytes) {
    KBufferLock lock(*this);
    const ULONGLONG size = record.llSize + bytes;
    if (!OpenRecordFile(record) || !record.hFile.Seek(static_cast<int64_t>(size), plat::SeekOrigin::Begin) ||
        !record.hFile.SetEnd()) {
        // The silence then stays a record of its own; the file ends early,
        // which only a missing copy of it after a restart would notice.
        DWORD err = plat::GetLastError();
        TQ_TRACE_BOOL("SetEndOfFile(pRecFile->hFile)");
        TQ_REPORT_SYSTEM(EC_WRITE_FILE, err, record.strPath);
        return false;
    }
    record.llSize = size;
    m_llDiskBytes += bytes;
    return true;
}

SCacheFile* KCacheImpl::AppendVirtualRecord(ULONGLONG position, ULONGLONG bytes) {
    KBufferLock lock(*this);
    if (!m_vFiles.empty() && m_vFiles.back()->bVirtual) {
        m_vFiles.back()->llSize += bytes;
    } else {
        auto record = std::make_unique<SCacheFile>();
        record->bVirtual = TRUE;
        record->llStart = position;
        record->llSize = bytes;
        m_vFiles.push_back(std::move(record));
    }
    Changed();
    return m_vFiles.back().get();
}

SCacheFile* KCacheImpl::PrependVirtualSpace(ULONGLONG position, ULONGLONG bytes) {
    KBufferLock lock(*this);
    if (!m_vFiles.empty() && m_vFiles.front()->bVirtual) {
        m_vFiles.front()->llSize += bytes;
        m_vFiles.front()->llStart = position;
    } else {
        auto record = std::make_unique<SCacheFile>();
        record->bVirtual = TRUE;
        record->llStart = position;
        record->llSize = bytes;
        m_vFiles.push_front(std::move(record));
    }
    Changed();
    return m_vFiles.front().get();
}

void KCacheImpl::RemoveFirst() {
    KBufferLock lock(*this);
    if (m_vFiles.empty()) return;
    SCacheFile& first = *m_vFiles.front();
    if (first.IsReal()) m_nFileIDFirst = NextFileID(m_nFileIDFirst);
    CloseRecordFile(first);
    m_vFiles.pop_front();
    Changed();
}

HRESULT KCacheImpl::DropBefore(ULONGLONG position) {
    KBufferLock lock(*this);
    if (position < StartPos()) return E_INVALIDARG;
    RetryLeftovers();
    bool raiseRead = false;
    HRESULT result = S_OK;
    for (;;) {
        const ULONGLONG first = m_vFiles.empty() ? 0 : m_vFiles.front()->llStart;
        if (position <= first) break;
        if (m_vFiles.empty()) {
            AddVirtualSpace(position, 0);
            m_llWritePosition = position;
            break;
        }
        SCacheFile& record = *m_vFiles.front();
        if (record.bUndeletable && (record.IsReal() || position > record.llKeepFrom)) return E_FAIL;
        const ULONGLONG end = record.End();
        if (record.IsReal()) {
            const ULONGLONG size = record.bMissing ? 0 : record.llSize;
            CloseRecordFile(record);
            if (!record.bMissing && !DeleteDataFile(record.strPath)) {
                DWORD err = plat::GetLastError();
                TQ_TRACE_BOOL("::DeleteFile(strName)");
                TQ_REPORT_SYSTEM(EC_DELETE_FILE, err, record.strPath);
                // The file stays in the chain and in the byte count, so that the
                // next trim deletes it: nothing is left on disk unknown to the index.
                result = err != 0 ? plat::HResultFromError(err) : E_FAIL;
                position = record.llStart;
                break;
            }
            if (m_llReadPosition < end) raiseRead = true;
            m_llDiskBytes -= std::min(size, m_llDiskBytes);
            RemoveFirst();
        } else if (end <= position) {
            if (m_llReadPosition < end) raiseRead = true;
            RemoveFirst();
        } else {
            const ULONGLONG cut = position - record.llStart;
            record.llSize -= cut;
            record.llStart = position;
            if (m_llReadPosition < position) raiseRead = true;
            Changed();
            break;
        }
    }
    // Real files beyond the position went whole: the stretch up to the next
    // record is silence now.
    if (!m_vFiles.empty() && m_vFiles.front()->llStart > position) {
        PrependVirtualSpace(position, m_vFiles.front()->llStart - position);
    }
    const ULONGLONG start = StartPos();
    if (raiseRead || m_llReadPosition < start) m_llReadPosition = start;
    m_llStartPos = position;
    Changed();
    return result;
}

bool KCacheImpl::DeleteDataFile(const std::u16string& path) {
    // A file that is gone already is as good as deleted.
    return plat::DeleteFile(path) || plat::GetLastError() == ERROR_FILE_NOT_FOUND;
}

KCacheImpl::Chain::const_iterator KCacheImpl::FindRecord(ULONGLONG position) const {
    KBufferLock lock(*this);
    auto it = std::upper_bound(m_vFiles.begin(), m_vFiles.end(), position,
                               [](ULONGLONG pos, const std::unique_ptr<SCacheFile>& r) { return pos < r->llStart; });
    if (it == m_vFiles.begin()) return m_vFiles.end();
    --it;
    if (std::next(it) == m_vFiles.end() && position >= (*it)->End()) return m_vFiles.end();
    return it;
}

ULONGLONG KCacheImpl::GetFileSize(const SCacheFile& record) const { return record.llSize; }

ULONGLONG KCacheImpl::GetStartPos() const { return m_llPublishedStart.load(std::memory_order_acquire); }

ULONGLONG KCacheImpl::StartPos() const { return m_vFiles.empty() ? 0 : m_vFiles.front()->llStart; }

void KCacheImpl::PublishPositions() const {
    m_llPublishedStart.store(StartPos(), std::memory_order_release);
    m_llPublishedWrite.store(m_llWritePosition, std::memory_order_release);
    m_llPublishedRead.store(m_llReadPosition, std::memory_order_release);
}

HRESULT KCacheImpl::ReadFixedPos(ULONGLONG position, DWORD bytes, BYTE* destination) {
    if (!destination) {
        TQ_TRACE_HR("E_POINTER");
        TQ_REPORT(EC_INTERNAL, E_POINTER, u"Invalid pointer");
        return E_POINTER;
    }
    KBufferLock lock(*this);
    if (position < StartPos()) {
        TQ_TRACE_BOOL("llStart <= llReadPosition");
        TQ_REPORT(EC_INTERNAL, 0, u"");
        return E_FAIL;  // the check sets no error: a stale one must not stand in
    }
    std::memset(destination, 0, bytes);
    auto it = FindRecord(position);
    ULONGLONG offset = it == m_vFiles.end() ? 0 : position - (*it)->llStart;
    DWORD copied = 0;
    for (; it != m_vFiles.end() && copied < bytes; ++it) {
        SCacheFile& record = **it;
        const ULONGLONG length = GetFileSize(record);
        if (offset >= length) {
            offset = 0;
            continue;
        }
        DWORD n = static_cast<DWORD>(std::min<ULONGLONG>(length - offset, bytes - copied));
        if (record.IsReal() && !record.bMissing) {
            uint32_t got = 0;
            if (!OpenRecordFile(record) || !record.hFile.ReadAt(offset, destination + copied, n, &got)) {
                DWORD err = plat::GetLastError();
                TQ_TRACE_BOOL("ReadFile((*itFile)->hFile, pCurrent, dwReadBytes, &dwRealRead, NULL)");
                TQ_REPORT_SYSTEM(EC_READ_FILE, err, record.strPath);
                return plat::HResultFromError(err);
            }
            // A file shorter than its record leaves zeros; the next record's
            // bytes still land at their own place.
        }
        copied += n;
        offset = 0;
    }
    return S_OK;
}

HRESULT KCacheImpl::Read(DWORD bytes, BYTE* destination) {
    KBufferLock lock(*this);
    HRESULT hr;
    if (TQ_FAILED(hr, ReadFixedPos(m_llReadPosition, bytes, destination))) {
        TQ_REPORT(EC_INTERNAL, hr, u"ReadFixedPos was failed");
        return hr;
    }
    m_llReadPosition += bytes;
    const ULONGLONG start = StartPos();
    if (m_llReadPosition < start) m_llReadPosition = start;
    return S_OK;
}

void KCacheImpl::SetReadPosition(LONGLONG offset, EBasicPosition base) {
    KBufferLock lock(*this);
    const ULONGLONG start = StartPos();
    LONGLONG value = 0;
    switch (base) {
    case posStart: value = static_cast<LONGLONG>(start) + offset; break;
    case posEnd: value = static_cast<LONGLONG>(m_llWritePosition) + offset; break;
    case posCurrent: value = static_cast<LONGLONG>(m_llReadPosition) + offset; break;
    default: value = 0; break;
    }
    if (value < 0) value = 0;
    m_llReadPosition = std::max(static_cast<ULONGLONG>(value), start);
}

HRESULT KCacheImpl::MarkRange(ULONGLONG llAbsStart, ULONGLONG llAbsEnd, BOOL bMark) {
    KBufferLock lock(*this);
    if (m_vFiles.empty()) return S_OK;
    if (llAbsEnd < llAbsStart) {
        TQ_TRACE_BOOL("llAbsEnd >= llAbsStart");
        TQ_REPORT(EC_INTERNAL, 0, u"In set undeletable range");
        return E_FAIL;
    }
    const ULONGLONG start = StartPos();
    if (llAbsEnd < start) {
        TQ_TRACE_BOOL("llAbsEnd >= llStart");
        TQ_REPORT(EC_INTERNAL, 0, u"In set undeletable range");
        return E_FAIL;
    }
    if (llAbsStart < start) llAbsStart = start;
    if (llAbsEnd >= m_llWritePosition && m_llWritePosition > 0) llAbsEnd = m_llWritePosition - 1;
    bool marking = false;
    for (auto& r : m_vFiles) {
        if (!marking && r->llStart <= llAbsStart && llAbsStart < r->End()) marking = true;
        if (!marking) continue;
        if (bMark) {
            const ULONGLONG keepFrom = r->bVirtual ? std::max(r->llStart, llAbsStart) : r->llStart;
            r->llKeepFrom = r->bUndeletable ? std::min(r->llKeepFrom, keepFrom) : keepFrom;
        }
        r->bUndeletable = bMark;
        if (r->llStart <= llAbsEnd && llAbsEnd < r->End()) break;
    }
    return S_OK;
}

HRESULT KCacheImpl::SetUndeletableRange(ULONGLONG llAbsStart, ULONGLONG llAbsEnd) {
    return MarkRange(llAbsStart, llAbsEnd, TRUE);
}

HRESULT KCacheImpl::ResetUndeletableRange(ULONGLONG llAbsStart, ULONGLONG llAbsEnd) {
    return MarkRange(llAbsStart, llAbsEnd, FALSE);
}

bool KCacheImpl::GetFirstUndeletableStart(ULONGLONG* position) const {
    KBufferLock lock(*this);
    for (const auto& r : m_vFiles) {
        if (r->bUndeletable) {
            if (position) *position = r->llKeepFrom;
            return true;
        }
    }
    return false;
}

KCacheImpl::Leftovers KCacheImpl::DeleteFiles(Chain& records) {
    Leftovers left;
    for (auto& r : records) {
        if (r->IsReal() && !r->bMissing) {
            r->hFile.Close();
            if (!DeleteDataFile(r->strPath)) {
                DWORD err = plat::GetLastError();
                TQ_TRACE_BOOL("DeleteFile(temp)");
                TQ_REPORT_SYSTEM(EC_DELETE_FILE, err, r->strPath);
                left.push_back({r->strPath, r->llSize});
            }
        }
    }
    records.clear();
    return left;
}

void KCacheImpl::KeepLeftovers(Leftovers left) {
    KBufferLock lock(*this);
    for (SLeftover& l : left) {
        m_llDiskBytes += l.llSize;
        m_vLeftovers.push_back(std::move(l));
    }
}

void KCacheImpl::RetryLeftovers() {
    KBufferLock lock(*this);
    ReapDeleters(false);  // what finished deleters left joins the list
    // Each was reported when it first stayed; a retry that fails again says
    // nothing new.
    std::erase_if(m_vLeftovers, [this](const SLeftover& l) {
        if (!DeleteDataFile(l.strPath)) return false;
        m_llDiskBytes -= std::min(l.llSize, m_llDiskBytes);
        return true;
    });
}

void KCacheImpl::SweepUnnamedFiles() {
    KBufferLock lock(*this);
    std::vector<plat::DirEntry> entries;
    if (m_strFilePrefix.empty() || !plat::ListDirectory(m_strCacheDir, &entries)) return;
    std::vector<std::u16string> named;
    for (const auto& r : m_vFiles) {
        if (r->IsReal()) named.push_back(r->strName);
    }
    for (const auto& l : m_vLeftovers) named.push_back(l.strPath.substr(m_strCacheDir.size()));
    std::sort(named.begin(), named.end());
    Leftovers left;
    for (const plat::DirEntry& e : entries) {
        if (e.isDirectory || !e.name.starts_with(m_strFilePrefix) || !e.name.ends_with(u".cah") ||
            std::binary_search(named.begin(), named.end(), e.name)) {
            continue;
        }
        const std::u16string path = m_strCacheDir + e.name;
        if (!DeleteDataFile(path)) {
            DWORD err = plat::GetLastError();
            TQ_TRACE_BOOL("DeleteFile(temp)");
            TQ_REPORT_SYSTEM(EC_DELETE_FILE, err, path);
            left.push_back({path, e.size});
        }
    }
    KeepLeftovers(std::move(left));
}

bool KCacheImpl::IsMiddleNumberBusy(DWORD index) const {
    for (const auto& d : m_vDeleters) {
        if (d->nIndex == index && d->thread.IsRunning()) return true;
    }
    return false;
}

void KCacheImpl::ReapDeleters(bool bWaitAll) {
    for (auto it = m_vDeleters.begin(); it != m_vDeleters.end();) {
        SDeleter& d = **it;
        if (!bWaitAll && d.thread.IsRunning()) {
            ++it;
            continue;
        }
        if (!d.thread.Join(kDeleterJoinMs)) {
            TQ_TRACE_BOOL("Deleting cache files takes long");
            d.thread.Join(INFINITE);
        }
        KeepLeftovers(std::move(d.left));
        it = m_vDeleters.erase(it);
    }
}

HRESULT KCacheImpl::Clear(BOOL bWait) {
    KBufferLock lock(*this);
    RetryLeftovers();
    const bool hasFiles = std::any_of(m_vFiles.begin(), m_vFiles.end(),
                                      [](const auto& r) { return r->IsReal() && !r->bMissing; });
    const size_t records = m_vFiles.size();
    const DWORD oldIndex = m_nFileIDIndex;

    Chain list;
    list.swap(m_vFiles);
    m_nOpenFiles = 0;
    FreeGroupFiles();

    bool handedOver = false;
    Leftovers left;
    if (!list.empty()) {
        if (bWait || !hasFiles) {
            left = DeleteFiles(list);
        } else {
            auto deleter = std::make_unique<SDeleter>();
            deleter->records = std::move(list);
            deleter->nIndex = oldIndex;
            SDeleter* raw = deleter.get();
            if (raw->thread.Start(
                    [raw] {
                        raw->left = DeleteFiles(raw->records);
                        return S_OK;
                    },
                    "cache-deleter")) {
                m_vDeleters.push_back(std::move(deleter));
                handedOver = true;
            } else {
                TQ_TRACE_BOOL("_beginthreadex(DeleteFilesThread)");
                left = DeleteFiles(raw->records);
            }
        }
    }

    // New files never take the names of files that a deleter may still be
    // deleting: the middle number moves on, past numbers still in use.
    if (records > kClearRenameRecords || handedOver) {
        DWORD next = (oldIndex + 1) % kMiddleNumbers;
        for (DWORD tries = 0; tries < kMiddleNumbers && IsMiddleNumberBusy(next); ++tries) {
            next = (next + 1) % kMiddleNumbers;
        }
        if (IsMiddleNumberBusy(next)) {
            ReapDeleters(true);
            next = (oldIndex + 1) % kMiddleNumbers;
        }
        m_nFileIDIndex = next;
    }

    // The index goes with its backup copy, so that no crash can bring the
    // cleared chain back.
    if (!m_strSettingsFN.empty()) {
        for (const std::u16string& path : {m_strSettingsFN, m_strSettingsFN + u".bak"}) {
            if (plat::IsFile(path) && !plat::DeleteFile(path)) {
                DWORD err = plat::GetLastError();
                TQ_TRACE_BOOL("DeleteFile(m_strSettingsFN)");
                TQ_REPORT_SYSTEM(EC_DELETE_FILE, err, path);
            }
        }
    }

    m_llWritePosition = 0;
    m_llReadPosition = 0;
    m_llStartPos = 0;
    m_nFileID = 0;
    m_nFileIDFirst = 1;
    // Files that stayed on disk still count, until a later try deletes them.
    m_llDiskBytes = 0;
    for (const SLeftover& l : m_vLeftovers) m_llDiskBytes += l.llSize;
    KeepLeftovers(std::move(left));
    Changed();
    return S_OK;
}

HRESULT recurceDeleteFolder(const std::u16string& strFolder) {
    if (strFolder.empty()) return E_INVALIDARG;
    const std::u16string folder = plat::WithTrailingSeparator(strFolder);
    const std::u16string entry = folder.substr(0, folder.size() - 1);
    // Nothing there is nothing to delete.
    if (!plat::EntryExists(entry)) return S_OK;
    // A link in place of the folder is removed itself; what it points to is
    // not ours to delete.
    if (plat::IsSymbolicLink(folder)) {
        if (!plat::DeleteFile(entry)) {
            DWORD err = plat::GetLastError();
            TQ_TRACE_BOOL("!DeleteFile(strFolder + fn)");
            TQ_REPORT_SYSTEM(EC_DELETE_FILE, err, entry);
            return plat::HResultFromError(err);
        }
        return S_OK;
    }
    // Each entry that stays is reported, a folder with its separator.
    DWORD firstError = 0;
    const bool deleted =
        plat::DeleteFolderRecursive(entry, [&](const std::u16string& path, bool isFolder, DWORD err) {
            if (firstError == 0) firstError = err;
            if (isFolder) {
                TQ_TRACE_BOOL("RemoveDirectory(strFolder)");
                TQ_REPORT_SYSTEM(EC_DELETE_FOLDER, err, path + u"/");
            } else {
                TQ_TRACE_BOOL("!DeleteFile(strFolder + fn)");
                TQ_REPORT_SYSTEM(EC_DELETE_FILE, err, path);
            }
        });
    if (deleted) return S_OK;
    if (firstError == 0) firstError = plat::GetLastError();
    return firstError != 0 ? plat::HResultFromError(firstError) : E_FAIL;
}

void KCacheImpl::FreeGroupFiles() {
    KBufferLock lock(*this);
    m_vGroupFiles.clear();
}

void KCacheImpl::ResetToEmpty() {
    KBufferLock lock(*this);
    m_vFiles.clear();
    m_nOpenFiles = 0;
    FreeGroupFiles();
    m_llWritePosition = 0;
    m_llReadPosition = 0;
    m_llStartPos = 0;
    m_nFileID = 0;
    m_nFileIDFirst = 1;
    m_llDiskBytes = 0;
    Changed();
}

ULONGLONG KCacheImpl::GetWritePosition() const { return m_llPublishedWrite.load(std::memory_order_acquire); }

ULONGLONG KCacheImpl::GetReadPosition() const { return m_llPublishedRead.load(std::memory_order_acquire); }

void KCacheImpl::SetReadPositionAbsolute(ULONGLONG position) {
    KBufferLock lock(*this);
    m_llReadPosition = position;
}

BOOL KCacheImpl::IsLive() const {
    KBufferLock lock(*this);
    return m_bLive;
}

void KCacheImpl::SetLive(BOOL bLive) {
    KBufferLock lock(*this);
    m_bLive = bLive;
}

BOOL KCacheImpl::CanLive() const {
    KBufferLock lock(*this);
    return m_bCanLive;
}

void KCacheImpl::SetCanLive(BOOL bCanLive) {
    KBufferLock lock(*this);
    m_bCanLive = bCanLive;
}

ULONGLONG KCacheImpl::GetDiskBytes() const {
    KBufferLock lock(*this);
    return m_llDiskBytes;
}

size_t KCacheImpl::GetRecordCount() const {
    KBufferLock lock(*this);
    return m_vFiles.size();
}

int KCacheImpl::GetCacheNumber() const {
    KBufferLock lock(*this);
    return m_nCacheNumber;
}

DWORD KCacheImpl::GetFileID() const {
    KBufferLock lock(*this);
    return m_nFileID;
}

DWORD KCacheImpl::GetFileIDFirst() const {
    KBufferLock lock(*this);
    return m_nFileIDFirst;
}

DWORD KCacheImpl::GetFileIDIndex() const {
    KBufferLock lock(*this);
    return m_nFileIDIndex;
}

ULONGLONG KCacheImpl::GetLastDropPosition() const {
    KBufferLock lock(*this);
    return m_llStartPos;
}

std::u16string KCacheImpl::GetIndexPath() const {
    KBufferLock lock(*this);
    return m_strSettingsFN;
}

bool KCacheImpl::IsDirty() const {
    KBufferLock lock(*this);
    return m_nChanges != m_nSavedChanges;
}

std::vector<KCacheImpl::RecordInfo> KCacheImpl::GetRecords() const {
    KBufferLock lock(*this);
    std::vector<RecordInfo> out;
    out.reserve(m_vFiles.size());
    for (const auto& r : m_vFiles) {
        out.push_back({r->strName, r->bVirtual, r->bUndeletable, r->bMissing, r->llStart, r->llSize});
    }
    return out;
}

std::vector<SGroupFile> KCacheImpl::GetGroups() const {
    KBufferLock lock(*this);
    std::vector<SGroupFile> groups;
    for (const auto& r : m_vFiles) {
        const BOOL isVirtual = r->bVirtual ? TRUE : FALSE;
        if (groups.empty() || groups.back().bVirtual != isVirtual) groups.emplace_back(isVirtual, 0);
        groups.back().nSize += isVirtual ? r->llSize : 1;
    }
    return groups;
}
