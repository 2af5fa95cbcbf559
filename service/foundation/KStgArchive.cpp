#include "service/foundation/KStgArchive.h"

#include <vector>

#include "log/Trace.h"
#include "platform/core/LastError.h"
#include "platform/fs/File.h"
#include "platform/storage/MemoryStream.h"
#include "platform/storage/StorageError.h"
#include "service/foundation/Crc32c.h"

namespace ser {

namespace {

constexpr DWORD kCreateMode = STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kReadMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr ULONG kReadPiece = 1u << 16;

void PutLe(uint8_t* to, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) to[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLe(const uint8_t* from, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(from[i]) << (8 * i);
    return value;
}

HRESULT Damaged() {
    plat::SetLastError(plat::kErrorInvalidData);
    return plat::HResultFromError(plat::kErrorInvalidData);
}

// Reads the rest of a stream, at most `limit` bytes (one more tells that
// there was more). False when a read fails.
bool ReadAll(IStream* stream, uint64_t limit, std::vector<uint8_t>* bytes) {
    bytes->clear();
    for (;;) {
        size_t at = bytes->size();
        bytes->resize(at + kReadPiece);
        ULONG got = 0;
        if (FAILED(stream->Read(bytes->data() + at, kReadPiece, &got))) return false;
        bytes->resize(at + got);
        if (got == 0 || bytes->size() > limit) return true;
    }
}

HRESULT WriteCheckStream(IStorage* storage, uint64_t length, uint32_t crc) {
    plat::ComPtr<IStream> check;
    HRESULT hr = storage->CreateStream(kCheckStreamName, kCreateMode, check.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    if (!check) return E_FAIL;
    uint8_t bytes[kCheckStreamBytes];
    PutLe(bytes, length, 8);
    PutLe(bytes + 8, crc, 4);
    ULONG written = 0;
    hr = check->Write(bytes, sizeof bytes, &written);
    if (SUCCEEDED(hr) && written != sizeof bytes) hr = STG_E_WRITEFAULT;
    return hr;
}

struct SCopyLoad {
    HRESULT hr = E_FAIL;  // the opening's result
    ELoadResult result = lr_error;
    bool Ok() const { return SUCCEEDED(hr) && result == lr_ok; }
};

SCopyLoad LoadCopy(KSerializable& record, const std::u16string& path, const std::u16string& streamName,
                   std::u16string_view rootName, const SLoadHooks& hooks) {
    SCopyLoad outcome;
    KStgArchive archive;
    outcome.hr = archive.OpenCopy(path, streamName);
    if (FAILED(outcome.hr)) return outcome;
    outcome.result = record.load(&archive, rootName);
    archive.close(false);
    if (outcome.result == lr_ok && hooks.usable && !hooks.usable()) outcome.result = lr_error;
    return outcome;
}

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

HRESULT KStgArchive::CheckDataStream(plat::ComPtr<IStream>* data) {
    plat::ComPtr<IStream> check;
    HRESULT hr = m_pStorage->OpenStream(kCheckStreamName, kReadMode, check.ReleaseAndGetAddressOf());
    if (hr == STG_E_FILENOTFOUND) return S_OK;  // written before files carried a check
    if (FAILED(hr) || !check) return Damaged();
    std::vector<uint8_t> word;
    if (!ReadAll(check.Get(), kCheckStreamBytes, &word) || word.size() != kCheckStreamBytes) return Damaged();
    const uint64_t length = GetLe(word.data(), 8);
    const auto crc = static_cast<uint32_t>(GetLe(word.data() + 8, 4));
    // The whole data stream is read and checked before any record of it is
    // believed; the records are then read from the checked copy.
    std::vector<uint8_t> bytes;
    if (!ReadAll(data->Get(), length, &bytes)) {
        plat::SetLastError(ERROR_READ_FAULT);
        return STG_E_READFAULT;
    }
    if (bytes.size() != length || Crc32c(0, bytes.data(), bytes.size()) != crc) return Damaged();
    auto copy = plat::MemoryStream::Make(std::move(bytes));
    if (!copy) return E_OUTOFMEMORY;
    *data = plat::ComPtr<IStream>(copy.Get());
    return S_OK;
}

HRESULT KStgArchive::OpenCopy(const std::u16string& path, const std::u16string& streamName) {
    if (m_pStorage) {
        ReleaseStream();
        m_pStorage = nullptr;
    }
    m_bWriting = false;
    HRESULT hr = StgOpenStorage(path.c_str(), kReadMode, m_pStorage.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
        m_pStorage = nullptr;
        return hr;
    }
    plat::ComPtr<IStream> data;
    hr = m_pStorage->OpenStream(streamName.c_str(), kReadMode, data.ReleaseAndGetAddressOf());
    if (FAILED(hr) || !data) {
        m_pStorage = nullptr;
        return E_FAIL;
    }
    if (FAILED(hr = CheckDataStream(&data))) {
        m_pStorage = nullptr;
        return hr;
    }
    AttachStream(std::move(data));
    m_strReadFrom = path;
    return S_OK;
}

HRESULT KStgArchive::open4read(const std::u16string& fileName, const std::u16string& streamName) {
    m_strReadFrom.clear();
    HRESULT hr = OpenCopy(fileName, streamName);
    if (SUCCEEDED(hr)) return hr;
    // A file that cannot be opened, that opens without its data stream, or
    // whose data stream fails its check, is passed over for its backup copy.
    DWORD err = plat::GetLastError();
    HRESULT hrBackup = OpenCopy(fileName + kBackupSuffix, streamName);
    if (FAILED(hrBackup)) plat::SetLastError(err);
    return hrBackup;
}

SLoadOutcome KStgArchive::LoadRecord(KSerializable& record, const std::u16string& fileName,
                                     const std::u16string& streamName, std::u16string_view rootName,
                                     const SLoadHooks& hooks) {
    SLoadOutcome outcome;
    const SCopyLoad main = LoadCopy(record, fileName, streamName, rootName, hooks);
    if (main.Ok()) {
        outcome.result = lr_ok;
        outcome.opened = true;
        return outcome;
    }
    if (SUCCEEDED(main.hr)) hooks.reset();
    const SCopyLoad backup = LoadCopy(record, fileName + kBackupSuffix, streamName, rootName, hooks);
    if (backup.Ok()) {
        // The file is damaged (not missing: its owner reports that), and
        // what it held is given by its backup.
        if (plat::PathExists(fileName)) {
            TQ_TRACE_HR("ser::lr_ok == load(F)");
            TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, FAILED(main.hr) ? main.hr : Damaged(), fileName);
        }
        outcome.result = lr_ok;
        outcome.opened = true;
        outcome.fromBackup = true;
        return outcome;
    }
    if (FAILED(main.hr)) {
        outcome.result = backup.result;
        outcome.opened = SUCCEEDED(backup.hr);
        outcome.fromBackup = outcome.opened;
        return outcome;
    }
    // Both copies are damaged: the record is given what the file itself held.
    hooks.reset();
    const ELoadResult again = LoadCopy(record, fileName, streamName, rootName, {}).result;
    outcome.result = again == lr_ok ? lr_error : again;  // lr_ok only when usable() refused it
    outcome.opened = true;
    return outcome;
}

bool KStgArchive::WriteRecord(int type, std::u16string_view name, std::u16string_view value) {
    bool ok = KIStreamArchive::WriteRecord(type, name, value);
    if (ok) m_bWroteRecord = true;
    else m_bWriteFailed = true;
    return ok;
}

HRESULT KStgArchive::close(bool commit) {
    if (!m_pStorage) return S_OK;
    const uint64_t length = WrittenBytes();
    const uint32_t crc = WrittenCrc();
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
    // The check goes into the same compound file as the data it covers, so
    // both reach the disk in one replacement.
    HRESULT hr = WriteCheckStream(storage, length, crc);
    if (FAILED(hr)) return hr;
    // A complete archive always reaches the backup; only the commit puts it
    // in place of the file.
    hr = storage->Commit(STGC_DEFAULT);
    storage = nullptr;
    if (FAILED(hr)) return hr;
    if (!commit) return S_OK;
    // The backup is complete on disk; a copy of it replaces the file in one
    // rename, so the file's name always holds a whole file, old or new.
    std::u16string backup = m_strFileName + kBackupSuffix;
    if (!plat::CopyFile(backup, m_strFileName, false)) return plat::HResultFromLastError();
    plat::FlushFolderOf(m_strFileName);
    return S_OK;
}

}  // namespace ser
