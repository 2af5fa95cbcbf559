#pragma once
// The process-wide error log: a UTF-16 log file with one entry per failed
// check or reported error, and an in-memory list of the reported errors that
// clients fetch (and empty) through the controller.
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

    // Reporting. sysError is an HRESULT or a Win32 error number (0 for none).
    void AddError(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail);
    void AddErrorFormatted(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail);
    void AddSystemError(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail);
    void AddErrorEx(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail);

    // One log entry; code 0 marks a trace.
    void WriteLine(LONG code, std::u16string_view text, const char* file, LONG line);

    bool PopError(LONG* code, std::u16string* text);
    void GetErrors(std::vector<std::u16string>* texts);
    // Hands the collected texts, oldest first, to take; they leave the list
    // only when take answers true, so a fetch that fails loses nothing.
    void TakeErrors(const std::function<bool(const std::vector<std::u16string>&)>& take);
    void ClearErrors();

    // (Re)creates the log file at the given path; the default is the program's
    // folder, or the product's data folder when that one cannot be written.
    // False when no file could be created (entries are then not written).
    bool OpenLogFile(const std::u16string& path);
    std::u16string LogFilePath() const;
    // Writes the closing entry and closes the file (done once at process exit).
    void Close();

private:
    KErrorLog();
    ~KErrorLog() = delete;

    void Collect(LONG code, std::u16string text);

    mutable plat::Mutex m_mutex{u"KErrorLogMutex"};
    std::deque<std::pair<LONG, std::u16string>> m_errors;
    plat::File m_file;
    std::u16string m_path;
};
