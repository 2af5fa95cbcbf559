#include "service/foundation/KStgArchive.h"

#include "platform/core/LastError.h"
#include "platform/fs/File.h"

namespace ser {

namespace {

constexpr DWORD kCreateMode = STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kReadMode = STGM_READ | STGM_SHARE_EXCLUSIVE;

}  // namespace

KStgArchive::~KStgArchive() { close(true); }

HRESULT KStgArchive::open4write(const std::u16string& fileName, const std::u16string& streamName) {
    close(true);
    m_strFileName = fileName;
    m_bWriteFailed = false;
    m_bWroteRecord = false;
    std::u16string backup = fileName + kBackupSuffix;
    HRESULT hr = StgCreateDocfile(backup.c_str(), kCreateMode, m_pStorage.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
        m_pStorage = nullptr;
        return hr;
    }
    {
        plat::ComPtr<IStream> dummy;
        hr = m_pStorage->CreateStream(kDummyStreamName, kCreateMode, dummy.ReleaseAndGetAddressOf());
        const uint32_t zero = 0;
        ULONG written = 0;
        if (SUCCEEDED(hr) && dummy) {
            hr = dummy->Write(&zero, sizeof zero, &written);
            if (SUCCEEDED(hr) && written != sizeof zero) hr = STG_E_WRITEFAULT;
        } else if (SUCCEEDED(hr)) {
            hr = E_FAIL;
        }
        if (FAILED(hr)) {
            // Released without a commit: the files stay as they were.
            m_pStorage = nullptr;
            return hr;
        }
    }
    if (!OpenStream(m_pStorage, streamName.c_str(), true)) {
        m_pStorage = nullptr;
        return E_FAIL;
    }
    m_bWriting = true;
    return S_OK;
}

HRESULT KStgArchive::OpenForReading(const std::u16string& path, const std::u16string& streamName) {
    HRESULT hr = StgOpenStorage(path.c_str(), kReadMode, m_pStorage.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
        m_pStorage = nullptr;
        return hr;
    }
    if (!OpenStream(m_pStorage, streamName.c_str(), false)) {
        m_pStorage = nullptr;
        return E_FAIL;
    }
    m_strReadFrom = path;
    return S_OK;
}

HRESULT KStgArchive::open4read(const std::u16string& fileName, const std::u16string& streamName) {
    if (m_pStorage) {
        ReleaseStream();
        m_pStorage = nullptr;
    }
    m_bWriting = false;
    m_strReadFrom.clear();
    HRESULT hr = OpenForReading(fileName, streamName);
    if (SUCCEEDED(hr)) return hr;
    // A file that cannot be opened, or that opens without its data stream,
    // is passed over for its backup copy.
    DWORD err = plat::GetLastError();
    HRESULT hrBackup = OpenForReading(fileName + kBackupSuffix, streamName);
    if (FAILED(hrBackup)) plat::SetLastError(err);
    return hrBackup;
}

bool KStgArchive::WriteRecord(int type, std::u16string_view name, std::u16string_view value) {
    bool ok = KIStreamArchive::WriteRecord(type, name, value);
    if (ok) m_bWroteRecord = true;
    else m_bWriteFailed = true;
    return ok;
}

HRESULT KStgArchive::close(bool commit) {
    if (!m_pStorage) return S_OK;
    ReleaseStream();
    plat::ComPtr<IStorage> storage = std::move(m_pStorage);
    bool writing = m_bWriting;
    m_bWriting = false;
    if (!writing) return S_OK;
    // An archive that failed on the way, or holds no record at all, is not
    // stored: the file and its backup keep their last good content.
    if (m_bWriteFailed || !m_bWroteRecord) {
        if (!commit) return S_OK;
        plat::SetLastError(ERROR_WRITE_FAULT);
        return STG_E_WRITEFAULT;
    }
    // A complete archive always reaches the backup; only the commit puts it
    // in place of the file.
    HRESULT hr = storage->Commit(STGC_DEFAULT);
    storage = nullptr;
    if (FAILED(hr)) return hr;
    if (!commit) return S_OK;
    // The backup is complete on disk; the file is replaced by a copy of it.
    // Should the copy fail after the delete, the missing file makes the next
    // reading fall back to the backup, which holds the new content.
    std::u16string backup = m_strFileName + kBackupSuffix;
    plat::DeleteFile(m_strFileName);
    if (!plat::CopyFile(backup, m_strFileName, false)) return plat::HResultFromLastError();
    return S_OK;
}

}  // namespace ser
