#pragma once
// The record archive over a compound file. The root storage holds exactly two
// streams: "__DUMMY__" (a 32-bit 0) and the data stream, whose name the file's
// owner passes in. A file F is always written as "F.bak"; the commit copies
// F.bak over F (F.bak stays as the backup), and reading falls back to F.bak
// when F cannot be used.
//
// Writer: open4write, one root group through WriteRecord, then close(true)
// (or the archive's end, which commits too). The commit only happens after a
// complete, successful write: when any step failed (the opening, a record, the
// compound file itself) F keeps what it held.
// Reader: open4read, records through ReadRecord, close(false).
#include <string>

#include "platform/com/ComPtr.h"
#include "platform/storage/Storage.h"
#include "service/foundation/KIStreamArchive.h"

namespace ser {

inline constexpr const char16_t* kDummyStreamName = u"__DUMMY__";
// The data stream and root group name that every data file of the service uses.
inline constexpr const char16_t* kDataStreamName = u"kq47tt2mpawrel8106dxxsb";
inline constexpr const char16_t* kRootName = u"\\Settings1";
inline constexpr const char16_t* kBackupSuffix = u".bak";

class KStgArchive : public KIStreamArchive {
public:
    KStgArchive() = default;
    ~KStgArchive() override;

    // Closes (with commit) an archive still open, then creates F.bak with its
    // two streams, ready for records. The failing HRESULT otherwise.
    HRESULT open4write(const std::u16string& fileName, const std::u16string& streamName);
    // Opens F, or F.bak when F cannot be opened or lacks the data stream.
    HRESULT open4read(const std::u16string& fileName, const std::u16string& streamName);
    // Releases the stream and the storage. An archive that was written
    // completely is stored in F.bak; with commit, F.bak is then copied over F.
    // An archive in which a write failed is not stored at all. S_OK when there
    // was nothing to do or everything asked for succeeded; otherwise the
    // failure (F then holds its last committed content, or is absent and F.bak
    // holds the new one).
    HRESULT close(bool commit);

    bool WriteRecord(int type, std::u16string_view name, std::u16string_view value) override;

    // The file the last open4read read from (F or F.bak); empty before.
    const std::u16string& ReadFileName() const { return m_strReadFrom; }

private:
    HRESULT OpenForReading(const std::u16string& path, const std::u16string& streamName);

    plat::ComPtr<IStorage> m_pStorage;
    std::u16string m_strFileName;  // recorded by open4write
    std::u16string m_strReadFrom;
    bool m_bWriting = false;
    bool m_bWriteFailed = false;
    bool m_bWroteRecord = false;
};

}  // namespace ser
