#pragma once
// The record archive over a compound file. The root storage holds the streams
// "__DUMMY__" (a 32-bit 0), the data stream, whose name the file's owner
// passes in, and the check stream (the data stream's length and CRC-32C). A
// file F is always written as "F.bak"; the commit puts a copy of F.bak in
// place of F (F.bak stays as the backup), and reading falls back to F.bak
// when F cannot be used.
//
// Writer: open4write, one root group through WriteRecord, then close(true)
// (or the archive's end, which commits too). The commit only happens after a
// complete, successful write: when any step failed (the opening, a record, the
// compound file itself) F keeps what it held. Each file is replaced as a whole
// (written beside it, flushed, renamed over it), so a crash at any instant
// leaves F and F.bak each either old or new, never half written or missing.
// Reader: open4read, records through ReadRecord, close(false). Files written
// before the check stream existed load as they are; a file whose data stream
// does not match its check is damaged and does not open.
//
// Loading a record: LoadRecord holds the one rule every data file follows.
#include <functional>
#include <string>

#include "platform/com/ComPtr.h"
#include "platform/storage/Storage.h"
#include "service/foundation/KIStreamArchive.h"
#include "service/foundation/KSerializable.h"

namespace ser {

inline constexpr const char16_t* kDummyStreamName = u"__DUMMY__";
// The data stream and root group name that every data file of the service uses.
inline constexpr const char16_t* kDataStreamName = u"kq47tt2mpawrel8106dxxsb";
inline constexpr const char16_t* kRootName = u"\\Settings1";
inline constexpr const char16_t* kBackupSuffix = u".bak";
// The check stream: the data stream's length (64 bits) and CRC-32C (32 bits),
// little-endian. Readers that do not know it pass it over.
inline constexpr const char16_t* kCheckStreamName = u"__CHECK__";
inline constexpr size_t kCheckStreamBytes = 12;

// What LoadRecord came to.
struct SLoadOutcome {
    ELoadResult result = lr_error;  // lr_ok only when one copy loaded completely and cleanly
    bool opened = false;            // a copy opened and passed its check, so the record holds some of it
    bool fromBackup = false;        // what the record holds came from F.bak
};

// What LoadRecord needs of the record beyond its stored members.
struct SLoadHooks {
    // Brings the record back to where it was before the load; called before
    // another copy is loaded into it. Required.
    std::function<void()> reset;
    // A further check of a copy that loaded cleanly; false counts the copy
    // as damaged. Optional.
    std::function<bool()> usable;
};

class KStgArchive : public KIStreamArchive {
public:
    KStgArchive() = default;
    ~KStgArchive() override;

    // Closes (with commit) an archive still open, then creates F.bak with its
    // streams, ready for records. The failing HRESULT otherwise.
    HRESULT open4write(const std::u16string& fileName, const std::u16string& streamName);
    // Opens F, or F.bak when F cannot be opened, lacks the data stream or
    // fails its check.
    HRESULT open4read(const std::u16string& fileName, const std::u16string& streamName);
    // Opens exactly this file for reading (no fallback), checked as open4read
    // checks it.
    HRESULT OpenCopy(const std::u16string& path, const std::u16string& streamName);
    // Releases the stream and the storage. An archive that was written
    // completely is stored in F.bak; with commit, a copy of F.bak then
    // replaces F. An archive in which a write failed is not stored at all.
    // S_OK when there was nothing to do or everything asked for succeeded;
    // otherwise the failure (F then holds its last committed content, and
    // F.bak holds either that or the new one).
    HRESULT close(bool commit);

    bool WriteRecord(int type, std::u16string_view name, std::u16string_view value) override;

    // The file the last open4read read from (F or F.bak); empty before.
    const std::u16string& ReadFileName() const { return m_strReadFrom; }

    // The rule for loading a data file F into a record: F is loaded; when it
    // fails for any reason (it does not open, lacks the data stream, fails
    // its check, its records do not load cleanly, or hooks.usable refuses
    // it), the record is reset and F.bak is loaded instead; when that loads,
    // the damage of an existing F goes to the error log. When both fail
    // (left to the owner to report), the record holds what F gave (what F.bak
    // gave when F did not open) and the result is not lr_ok. Loading writes nothing: the next successful save rewrites both.
    static SLoadOutcome LoadRecord(KSerializable& record, const std::u16string& fileName,
                                   const std::u16string& streamName, std::u16string_view rootName,
                                   const SLoadHooks& hooks);

private:
    // Replaces a data stream that has a check by its checked copy in memory.
    HRESULT CheckDataStream(plat::ComPtr<IStream>* data);

    plat::ComPtr<IStorage> m_pStorage;
    std::u16string m_strFileName;  // recorded by open4write
    std::u16string m_strReadFrom;
    bool m_bWriting = false;
    bool m_bWriteFailed = false;
    bool m_bWroteRecord = false;
};

}  // namespace ser
