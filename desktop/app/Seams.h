#pragma once
// The program's ties to the world outside it: the service, message boxes,
// file and folder dialogs, the URL opener, the sound devices, waiting and
// leaving the process. Each is an interface so that the whole program runs
// headless against fakes; DefaultSeams.h holds the real ones.
#include <QString>
#include <QUrl>

#include <chrono>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComPtr.h"

class QWidget;

namespace parvane {

enum class Icon { None, Error, Information, Question, Warning };
enum class Buttons { Ok, YesNo, YesNoCancel };
// The answers a prompt can give.
enum class Answer { Ok, Yes, No, Cancel };

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual Answer Show(QWidget* parent, const QString& text, Icon icon, Buttons buttons) = 0;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // A file to save to (the dialog confirms overwriting); empty when cancelled.
    virtual QString SaveFile(QWidget* parent, const QString& defaultSuffix, const QString& filter,
                             const QString& start) = 0;
    // A folder; empty when cancelled.
    virtual QString Folder(QWidget* parent, const QString& title, const QString& start) = 0;
};

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void Open(const QUrl& url) = 0;
};

// How the program reaches the service's controller.
class ServiceLink {
public:
    virtual ~ServiceLink() = default;
    // Starts the service if it is not running and looks the controller up.
    virtual HRESULT StartServiceAndConnect(IAudioController** controller) = 0;
    // Looks the running service's controller up: S_OK with a controller, or a failure.
    virtual HRESULT FindObjectInRot(IAudioController** controller) = 0;
    // Who runs the service now: S_OK with an identity that changes when the
    // service is started anew, S_FALSE when none runs, a failure when that
    // cannot be told. Answers while the service itself is too busy to.
    virtual HRESULT ServiceOwner(std::string* owner) = 0;
};

class SoundDevices {
public:
    virtual ~SoundDevices() = default;
    // Playback devices that carry an identity (the primary entry is not counted).
    virtual int CountPlaybackDevices() = 0;
    // Makes every output whose name holds namePart the default in turn (the
    // last one wins). False when none could be made the default.
    virtual bool MakeDefaultPlayback(const QString& namePart) = 0;
};

// A request to stop that wakes whoever waits for it.
class CancelFlag {
public:
    void Set() {
        {
            std::lock_guard lock(m_mutex);
            m_set = true;
        }
        m_wake.notify_all();
    }
    bool IsSet() {
        std::lock_guard lock(m_mutex);
        return m_set;
    }
    // Waits up to milliseconds; false when the flag was set first.
    bool WaitFor(int milliseconds) {
        std::unique_lock lock(m_mutex);
        return !m_wake.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_set; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_set = false;
};

// Waiting that its owner can cut short.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    // False when cancel was set before the time passed.
    virtual bool Sleep(int milliseconds, CancelFlag& cancel) = 0;
};

class Exiter {
public:
    virtual ~Exiter() = default;
    // Ends the program with code; returns only in tests.
    virtual void Exit(int code) = 0;
};

// Actions whose windows live elsewhere in the program; each has a plain
// default that does nothing visible.
struct Hooks {
    // Shown at start while the guide flag is set; false stops start-up.
    std::function<bool(QWidget*, ISettings*)> quickStart;
    // The update check at start; false after a failed settings call.
    std::function<bool(QWidget*, ISettings*)> updateAtStart;
    // The sign-up form, shown while the program is not registered; true when
    // the form was completed (OK or "Do Not Register").
    std::function<bool(QWidget*)> signUp;
    std::function<void(QWidget*)> settings;
    // Shows (true) or hides (false) the web-radio window.
    std::function<void(QWidget*, bool)> radio;
    std::function<void(QWidget*)> help;
};

struct Seams {
    Prompter* prompter = nullptr;
    FileDialogs* files = nullptr;
    UrlOpener* urls = nullptr;
    ServiceLink* link = nullptr;
    SoundDevices* sound = nullptr;
    Sleeper* sleeper = nullptr;
    Exiter* exiter = nullptr;
    Hooks hooks;
    int watchdogPeriodMs = 5000;
    int connectTries = 10;
    int connectPauseMs = 1000;
    // How long a poll may stay unanswered before the service counts as not answering.
    int notAnsweringMs = 3000;
    // How long Cancel waits for an interrupted save to return.
    int saveStopWaitMs = 5000;
};

}  // namespace parvane
