#pragma once
// The process-wide error log: a UTF-16 log file with one entry per failed
// check or reported error, and an in-memory list of the reported errors that
// clients fetch (and empty) through the controller.
//
// Both stay bounded however long the service runs and however often a fault
// repeats: the list keeps the newest entries and counts what it dropped; an
// entry repeated from the same place within a second is written once and
// then counted ("(repeated N times)"); and a log file grown past its limit is
// moved aside to one old copy.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Sync.h"
#include "platform/fs/File.h"

class KErrorLog {
public:
    // The one log of the process. Built on first use and never destroyed, so
    // every static initialiser and destructor may report.
    static KErrorLog& Instance();

    static constexpr size_t kEntryUnits = 1000;      // one log entry
    static constexpr size_t kMessageUnits = 32000;   // one formatted message
    static constexpr const char16_t* kLogFileName = u"(log-file).log";
    static constexpr size_t kMaxErrors = 1000;               // entries the list keeps
    static constexpr uint64_t kRepeatWindowMs = 1000;        // a repeat within this joins the burst
    static constexpr uint64_t kRepeatReportMs = 60000;       // a running burst is counted this often
    static constexpr uint64_t kMaxFileBytes = 10ull << 20;   // the log file is moved aside past this
    static constexpr size_t kTrackedRepeats = 32;            // bursts followed at once

    // Reporting. sysError is an HRESULT or a Win32 error number (0 for none).
    void AddError(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail);
    void AddErrorFormatted(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail);
    void AddSystemError(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail);
    void AddErrorEx(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail);

    // One log entry; code 0 marks a trace. A repeat of an entry written from
    // the same place within a second is counted instead of written.
    void WriteLine(LONG code, std::u16string_view text, const char* file, LONG line);
    // Writes the count of every burst of repeats that has ended (none came
    // within a second). Each new entry does this too; an owner with a
    // periodic task calls it so that a burst's count never waits for the
    // next fault.
    void FlushRepeats();

    bool PopError(LONG* code, std::u16string* text);
    void GetErrors(std::vector<std::u16string>* texts);
    // Hands the collected texts, oldest first (the count of dropped entries
    // before them), to take; they leave the list only when take answers
    // true, so a fetch that fails loses nothing. take runs without the log's
    // lock; what is reported meanwhile stays in the list for the next fetch.
    void TakeErrors(const std::function<bool(const std::vector<std::u16string>&)>& take);
    void ClearErrors();

    // Opens the log file at the given path: created anew (fresh) or appended
    // to. The default is the program's folder, or StateDir() when that one
    // cannot be written; every process appends to it until StartNewLog.
    // False when no file could be opened (entries are then not written).
    bool OpenLogFile(const std::u16string& path, bool fresh = true);
    // Begins a new log for a new run: the previous one (the lines of a crash
    // that ended it included) moves to RotatedPath. Only the process that holds
    // the per-user instance lock does this; every other one (a second
    // instance, a registration) appends, so no running daemon loses its log.
    bool StartNewLog();
    std::u16string LogFilePath() const;
    // "$XDG_STATE_HOME/Tonquil/" (default "~/.local/state/Tonquil/"): the
    // log's folder when the program's own folder cannot be written. Empty
    // when no home folder is known.
    static std::u16string StateDir();
    // Told the log's path now and at every change, under the log's lock (the
    // crash report keeps its own copy for writing when no lock may be taken).
    void SetPathObserver(void (*observer)(const std::u16string& path));
    // Where a lost log is reported (a file that cannot be opened again after
    // a move): standard error unless set.
    void SetComplaintSink(std::function<void(const std::string&)> sink);
    // Where the previous log goes once the file passes its size limit: the
    // name with ".1.log" in place of its ".log".
    static std::u16string RotatedPath(const std::u16string& path);
    // The size past which the file is moved aside (kMaxFileBytes unless set).
    void SetMaxFileBytes(uint64_t bytes);
    // Writes the closing entry and closes the file (done once at process exit).
    void Close();

private:
    KErrorLog();
    ~KErrorLog() = delete;

    // A burst of one entry repeated from one place.
    struct SRepeat {
        LONG code;
        std::u16string text;
        std::string file;
        LONG line;
        uint64_t lastMs;        // when it last came
        uint64_t countedFromMs; // when its count was last written (or it began)
        uint64_t count;         // repeats not written yet
    };

    // True when the entry is to be written (the first of a burst); false when
    // it only joined a running burst.
    bool Admit(LONG code, std::u16string_view text, const char* file, LONG line);
    void WriteCount(SRepeat& r);
    // Writes the counts of the bursts that ended before nowMs (all with `all`).
    void EndBursts(uint64_t nowMs, bool all);
    void WriteEntry(LONG code, std::u16string_view text, const char* file, LONG line);
    // True when m_file is the file now at m_path, reopened (for appending)
    // when the file there was moved or removed, or could not be opened before.
    bool EnsureOpen();
    bool Reopen();
    // Opens m_file at the path for appending and takes its size; false with
    // errno telling why, and m_file as it was.
    bool OpenFileAt(const std::u16string& path, plat::FileCreation creation);
    void SetPath(const std::u16string& path);
    void RotateFile();
    void Collect(LONG code, std::u16string text);
    // One report, under the lock: the message (cut to kMessageUnits) is
    // written under shownCode unless it joins a running burst, and listed
    // under code with listedText, or the message itself when that is null.
    void Record(LONG code, LONG shownCode, std::u16string message, const char16_t* listedText, const char* file,
                LONG line);
    // The entry that stands for the entries the list dropped.
    static std::u16string DroppedText(uint64_t dropped);

    mutable plat::Mutex m_mutex{u"KErrorLogMutex"};
    std::deque<std::pair<LONG, std::u16string>> m_errors;
    uint64_t m_dropped = 0;
    std::vector<SRepeat> m_repeats;
    plat::File m_file;
    std::u16string m_path;
    std::string m_path8;
    uint64_t m_fileBytes = 0;  // the file's size as last seen
    uint64_t m_maxFileBytes = kMaxFileBytes;
    bool m_lost = false;  // the file could not be opened again (said once)
    void (*m_pathObserver)(const std::u16string&) = nullptr;
    std::function<void(const std::string&)> m_complain;
};
