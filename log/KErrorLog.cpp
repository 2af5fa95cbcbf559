#include "log/KErrorLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "log/DirUtils.h"
#include "log/ErrorTextTable.h"
#include "log/KLock.h"
#include "log/KStr.h"
#include "platform/core/Clock.h"
#include "platform/core/ExceptionGuard.h"
#include "platform/core/LastError.h"
#include "platform/core/Text.h"

namespace {

void CloseAtExit() { KErrorLog::Instance().Close(); }

// An exception that escaped a thread or a bus call goes into the error list
// and the file like any other failure.
void ReportEscapedException(std::string_view kind, std::string_view name, std::string_view what, HRESULT hr) {
    try {
        std::string text = "An exception escaped ";
        text.append(kind).append(" '").append(name).append("': ").append(what);
        KErrorLog::Instance().AddError(__FILE__, __LINE__, EC_INTERNAL, hr, plat::ToUtf16(text));
    } catch (...) {
        // No memory for the text: the HRESULT still reaches the caller.
    }
}

// Formats a table text with the arguments a caller means to pass, but only
// when the text takes exactly those; otherwise the text is shown as it stands
// with the detail behind it, so a wrong row can never read missing arguments.
std::u16string FormatChecked(const char16_t* format, const char* kinds, std::u16string_view detail,
                             LONG number, const std::u16string& systemText) {
    std::u16string d(detail);
    const std::string want(kinds);
    // A code the table does not have formats an empty text.
    if (*format == u'\0') return std::u16string();
    if (plat::FormatArgKinds(format) != want) return std::u16string(format) + d;
    if (want == "s") return plat::WFormatN(KErrorLog::kMessageUnits, format, d.c_str());
    if (want == "sis") return plat::WFormatN(KErrorLog::kMessageUnits, format, d.c_str(), number, systemText.c_str());
    if (want == "si") return plat::WFormatN(KErrorLog::kMessageUnits, format, systemText.c_str(), number);
    return std::u16string(format) + d;
}

std::u16string SystemText(LONG sysError) {
    KStr s;
    s.FromHResult(sysError);
    return s.Str();
}

}  // namespace

KErrorLog& KErrorLog::Instance() {
    alignas(KErrorLog) static unsigned char storage[sizeof(KErrorLog)];
    static KErrorLog* log = [] {
        KErrorLog* l = ::new (static_cast<void*>(storage)) KErrorLog();
        std::atexit(CloseAtExit);
        return l;
    }();
    return *log;
}

KErrorLog::KErrorLog() {
    DWORD saved = plat::GetLastError();
    // Appended to, not created anew: this process may be a second instance
    // or a registration beside a running daemon (see StartNewLog).
    std::u16string dir = plat::GetModuleDir();
    bool opened = !dir.empty() && OpenLogFile(dir + kLogFileName, false);
    if (!opened) {
        // An installed program's folder is not writable: the log keeps its
        // name and content in the user's state folder.
        std::u16string state = StateDir();
        if (!state.empty() && dirUtils::createDirRecursive(state)) OpenLogFile(state + kLogFileName, false);
    }
    plat::SetExceptionSink(&ReportEscapedException);
    plat::SetLastError(saved);
}

std::u16string KErrorLog::StateDir() {
    const std::string state = plat::UserStateHome();
    return state.empty() ? std::u16string() : plat::ToUtf16(state) + u"/Tonquil/";
}

void KErrorLog::SetPath(const std::u16string& path) {
    m_path = path;
    m_path8 = plat::ToUtf8(path);
    if (m_pathObserver) m_pathObserver(m_path);
}

void KErrorLog::SetPathObserver(void (*observer)(const std::u16string& path)) {
    KLock lock(m_mutex);
    m_pathObserver = observer;
    if (m_pathObserver) m_pathObserver(m_path);
}

void KErrorLog::SetComplaintSink(std::function<void(const std::string&)> sink) {
    KLock lock(m_mutex);
    m_complain = std::move(sink);
}

bool KErrorLog::OpenLogFile(const std::u16string& path, bool fresh) {
    KLock lock(m_mutex);
    DWORD saved = plat::GetLastError();
    // The counts of the bursts still running belong to the file they began in.
    EndBursts(0, true);
    bool ok = OpenFileAt(path, fresh ? plat::FileCreation::CreateAlways : plat::FileCreation::OpenAlways);
    if (ok) SetPath(path);
    plat::SetLastError(saved);
    return ok;
}

bool KErrorLog::OpenFileAt(const std::u16string& path, plat::FileCreation creation) {
    plat::File f;
    bool ok = f.Open(path, plat::FileAccess::Write, creation, plat::ShareReadWrite);
    // Each entry is one write at the end of the file, whoever else appends.
    if (ok) ok = ::fcntl(f.Fd(), F_SETFL, ::fcntl(f.Fd(), F_GETFL) | O_APPEND) == 0;
    if (!ok) {
        // The caller reports the cause: closing the handle keeps it.
        const int cause = errno;
        f.Close();
        errno = cause;
        return false;
    }
    m_file = std::move(f);
    m_lost = false;
    uint64_t size = 0;
    m_fileBytes = m_file.Size(&size) ? size : 0;
    return true;
}

bool KErrorLog::StartNewLog() {
    KLock lock(m_mutex);
    if (m_path.empty()) return false;
    DWORD saved = plat::GetLastError();
    EndBursts(0, true);
    m_file.Close();
    uint64_t size = 0;
    // An empty log has nothing worth keeping; the old copy stays then.
    if (plat::GetFileSize(m_path, &size) && size > 0) plat::MoveFile(m_path, RotatedPath(m_path));
    bool ok = Reopen();
    plat::SetLastError(saved);
    return ok;
}

bool KErrorLog::Reopen() {
    if (OpenFileAt(m_path, plat::FileCreation::OpenAlways)) return true;
    if (!m_lost) {
        // Said once; every later entry tries again.
        m_lost = true;
        const std::string text = "QXService: the log file " + m_path8 + " cannot be opened (" + std::strerror(errno) +
                                 "); its entries are lost until it can";
        if (m_complain) {
            m_complain(text);
        } else {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
    }
    return false;
}

bool KErrorLog::EnsureOpen() {
    if (m_path.empty()) return false;
    if (m_file.IsOpen()) {
        // Another process (or a user) may have moved or removed the file:
        // entries go to the live log at the path, never to the moved one.
        struct stat atPath {}, held {};
        if (::stat(m_path8.c_str(), &atPath) == 0 && ::fstat(m_file.Fd(), &held) == 0 &&
            atPath.st_dev == held.st_dev && atPath.st_ino == held.st_ino) {
            // What other processes appended counts too.
            m_fileBytes = static_cast<uint64_t>(held.st_size);
            return true;
        }
        m_file.Close();
    }
    return Reopen();
}

std::u16string KErrorLog::LogFilePath() const {
    KLock lock(m_mutex);
    return m_path;
}

std::u16string KErrorLog::RotatedPath(const std::u16string& path) {
    static constexpr std::u16string_view kExt = u".log";
    std::u16string_view stem = path;
    if (stem.size() >= kExt.size() && stem.substr(stem.size() - kExt.size()) == kExt) {
        stem.remove_suffix(kExt.size());
    }
    return std::u16string(stem) + u".1.log";
}

void KErrorLog::SetMaxFileBytes(uint64_t bytes) {
    KLock lock(m_mutex);
    m_maxFileBytes = bytes;
}

void KErrorLog::Close() {
    KLock lock(m_mutex);
    if (!m_file.IsOpen()) return;
    DWORD saved = plat::GetLastError();
    EndBursts(0, true);
    WriteEntry(0, u"Closing log", "", 55);
    // Entries are not synced one by one (a fault reported from an audio
    // thread must not wait for the disk): once, here, all of them are.
    m_file.Flush();
    m_file.Close();
    plat::SetLastError(saved);
}

void KErrorLog::WriteLine(LONG code, std::u16string_view text, const char* file, LONG line) {
    KLock lock(m_mutex);
    if (Admit(code, text, file, line)) WriteEntry(code, text, file, line);
}

void KErrorLog::FlushRepeats() {
    KLock lock(m_mutex);
    EndBursts(plat::Clock().NowMs(), false);
}

bool KErrorLog::Admit(LONG code, std::u16string_view text, const char* file, LONG line) {
    const uint64_t now = plat::Clock().NowMs();
    EndBursts(now, false);
    const std::string_view fileText = file ? file : "";
    for (SRepeat& r : m_repeats) {
        if (r.code != code || r.line != line || r.text != text || r.file != fileText) continue;
        ++r.count;
        r.lastMs = now;
        // A burst that goes on is counted every minute, not only at its end.
        if (now - r.countedFromMs >= kRepeatReportMs) WriteCount(r);
        return false;
    }
    if (m_repeats.size() >= kTrackedRepeats) {
        // Many different entries at once: the one quiet longest is let go.
        auto oldest = std::min_element(m_repeats.begin(), m_repeats.end(),
                                       [](const SRepeat& a, const SRepeat& b) { return a.lastMs < b.lastMs; });
        WriteCount(*oldest);
        m_repeats.erase(oldest);
    }
    m_repeats.push_back(SRepeat{code, std::u16string(text), std::string(fileText), line, now, now, 0});
    return true;
}

void KErrorLog::WriteCount(SRepeat& r) {
    if (r.count > 0) {
        WriteEntry(r.code, u"(repeated " + plat::ToUtf16(std::to_string(r.count)) + u" times)", r.file.c_str(),
                   r.line);
    }
    r.count = 0;
    r.countedFromMs = r.lastMs;
}

void KErrorLog::EndBursts(uint64_t nowMs, bool all) {
    for (size_t i = 0; i < m_repeats.size();) {
        SRepeat& r = m_repeats[i];
        if (all || nowMs - r.lastMs >= kRepeatWindowMs) {
            WriteCount(r);
            m_repeats.erase(m_repeats.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

void KErrorLog::WriteEntry(LONG code, std::u16string_view text, const char* file, LONG line) {
    if (!EnsureOpen()) return;
    // Logging must never disturb the error a caller is about to report.
    DWORD saved = plat::GetLastError();
    std::u16string time = plat::ToUtf16(plat::CTimeText());
    std::u16string fileText = plat::ToUtf16(file ? file : "");
    std::u16string head = u"Time: " + time + u", File: " + fileText + u", Line: " + plat::WFormat(u"%d", line) + u" -- ";
    std::u16string tail = plat::WFormat(u" (%d) \r\n", code);
    std::u16string message(text);
    // Cut the entry to fit its buffer (one unit stays for the terminator),
    // keeping its ending so the file stays readable entry by entry.
    const size_t room = kEntryUnits - 1;
    if (head.size() + message.size() + tail.size() > room) {
        size_t keep = head.size() + tail.size() < room ? room - head.size() - tail.size() : 0;
        message.resize(keep);
        if (head.size() + tail.size() > room) head.resize(room - tail.size());
    }
    std::u16string entry = head + message + tail;
    std::string bytes;
    bytes.reserve(entry.size() * 2);
    for (char16_t c : entry) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    // Written at once, so that a reader sees it and a crash keeps it; synced
    // to the disk only at the close.
    if (m_file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr) &&
        (m_fileBytes += bytes.size()) > m_maxFileBytes)
        RotateFile();
    plat::SetLastError(saved);
}

void KErrorLog::RotateFile() {
    // Every process that appends to the log may find it full after its own
    // entry. The first to take the lock on the full file moves it aside; the
    // others wait for that, then find a new file at the path (or the full one
    // cut) and leave it be: moving the new file would put it over the old
    // copy, which then loses every entry the full file held. Without the lock
    // (none to be had) the move goes on as before, unguarded. The lock is a
    // record lock of the open file: its flock serves the share mode.
    const int fd = m_file.Fd();
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    while (::fcntl(fd, F_OFD_SETLKW, &whole) != 0 && errno == EINTR) {
    }
    struct stat atPath {}, held {};
    const bool stillFull = ::stat(m_path8.c_str(), &atPath) == 0 && ::fstat(fd, &held) == 0 &&
                           atPath.st_dev == held.st_dev && atPath.st_ino == held.st_ino &&
                           static_cast<uint64_t>(held.st_size) > m_maxFileBytes;
    // The previous old log gives way. Should the move fail, the full file is
    // cut all the same: the log never grows without bound.
    if (stillFull && !plat::MoveFile(m_path, RotatedPath(m_path))) (void)!::truncate(m_path8.c_str(), 0);
    m_file.Close();  // lets the lock go
    // A failed open is said and tried again at the next entry.
    Reopen();
}

void KErrorLog::Collect(LONG code, std::u16string text) {
    if (code == EC_INTERNAL || code == EC_SDK) return;  // internal codes are only logged
    m_errors.emplace_back(code, std::move(text));
    // Nobody may ask for months: the newest entries are kept.
    while (m_errors.size() > kMaxErrors) {
        m_errors.pop_front();
        ++m_dropped;
    }
}

std::u16string KErrorLog::DroppedText(uint64_t dropped) {
    return u"Too many errors: " + plat::ToUtf16(std::to_string(dropped)) + u" older errors were dropped. ";
}

void KErrorLog::Record(LONG code, LONG shownCode, std::u16string message, const char16_t* listedText,
                       const char* file, LONG line) {
    if (message.size() > kMessageUnits) message.resize(kMessageUnits);
    if (!Admit(shownCode, message, file, line)) return;
    Collect(code, listedText ? std::u16string(listedText) : message);
    WriteEntry(shownCode, message, file, line);
}

void KErrorLog::AddError(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail) {
    KLock lock(m_mutex);
    const char16_t* tableText = ErrorTextTable::Lookup(code);
    Record(code, code, std::u16string(tableText) + std::u16string(detail), tableText, file, line);
}

void KErrorLog::AddErrorFormatted(const char* file, LONG line, LONG code, LONG sysError,
                                  std::u16string_view detail) {
    KLock lock(m_mutex);
    Record(code, code, FormatChecked(ErrorTextTable::Lookup(code), "s", detail, 0, u""), nullptr, file, line);
}

void KErrorLog::AddSystemError(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail) {
    KLock lock(m_mutex);
    Record(code, sysError, FormatChecked(ErrorTextTable::Lookup(code), "sis", detail, sysError, SystemText(sysError)),
           nullptr, file, line);
}

void KErrorLog::AddErrorEx(const char* file, LONG line, LONG code, LONG sysError, std::u16string_view detail) {
    KLock lock(m_mutex);
    Record(code, sysError, FormatChecked(ErrorTextTable::Lookup(code), "si", u"", sysError, SystemText(sysError)),
           nullptr, file, line);
}

bool KErrorLog::PopError(LONG* code, std::u16string* text) {
    KLock lock(m_mutex);
    if (m_dropped > 0) {
        // The dropped entries were the oldest: their count comes first.
        if (code) *code = EC_INTERNAL;
        if (text) *text = DroppedText(m_dropped);
        m_dropped = 0;
        return true;
    }
    if (m_errors.empty()) return false;
    if (code) *code = m_errors.front().first;
    if (text) *text = std::move(m_errors.front().second);
    m_errors.pop_front();
    return true;
}

void KErrorLog::GetErrors(std::vector<std::u16string>* texts) {
    KLock lock(m_mutex);
    if (m_dropped > 0 && texts) texts->push_back(DroppedText(m_dropped));
    m_dropped = 0;
    while (!m_errors.empty()) {
        if (texts) texts->push_back(std::move(m_errors.front().second));
        m_errors.pop_front();
    }
}

void KErrorLog::TakeErrors(const std::function<bool(const std::vector<std::u16string>&)>& take) {
    if (!take) return;
    // The entries leave the list before take runs, without the lock: an error
    // reported meanwhile (take itself may report one) joins the list and
    // stays there, rather than being cleared with the ones taken.
    std::deque<std::pair<LONG, std::u16string>> taken;
    uint64_t dropped = 0;
    std::vector<std::u16string> texts;
    {
        KLock lock(m_mutex);
        taken.swap(m_errors);
        std::swap(dropped, m_dropped);
        texts.reserve(taken.size() + 1);
        // The dropped entries were the oldest: their count comes first.
        if (dropped > 0) texts.push_back(DroppedText(dropped));
        for (const auto& error : taken) texts.push_back(error.second);
    }
    if (take(texts)) return;
    // Not delivered: the entries go back before the newer ones, within the bound.
    KLock lock(m_mutex);
    for (auto& error : m_errors) taken.push_back(std::move(error));
    m_errors.swap(taken);
    m_dropped += dropped;
    while (m_errors.size() > kMaxErrors) {
        m_errors.pop_front();
        ++m_dropped;
    }
}

void KErrorLog::ClearErrors() {
    KLock lock(m_mutex);
    m_errors.clear();
    m_dropped = 0;
}
