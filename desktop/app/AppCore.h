#pragma once
// What every window of the program shares: the controller, the seams, and
// the judgement of whether the service still answers. Lives on the GUI
// thread.
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

#include "desktop/app/Seams.h"

class QWidget;

namespace parvane {

// A failure that says the service did not answer (gone, cut off, timed out)
// rather than that it refused the call.
bool IsTransportFailure(HRESULT hr);
// "<call> failed (0x........)".
QString CallFailedText(const char* call, HRESULT hr);

// Has the service take over the settings just written (update calls
// UpdateSettings), then saves them. What the service could not apply (a
// device that cannot be opened) does not keep the rest from being saved: a
// refused update is followed by the save all the same, and is the result
// when the save succeeds. A service that did not answer the update is not
// asked to save. *failedCall names the failed call; *saved says whether the
// settings were saved.
HRESULT UpdateAndSaveSettings(const std::function<HRESULT()>& update, ISettings* settings, const char** failedCall,
                              bool* saved);

class AppCore {
public:
    explicit AppCore(Seams seams) : m_seams(std::move(seams)) {}

    Seams& seams() { return m_seams; }
    Prompter& prompter() { return *m_seams.prompter; }

    // The process-wide controller, set once at start-up and held to the end.
    plat::ComPtr<IAudioController> controller;

    // Where notices go (the main window's pop-ups); the prompter when unset.
    std::function<void(const QString&)> notice;
    void Notice(QWidget* parent, const QString& text);

    // True while the service counts as not answering: a command is refused at
    // once. The first refusal of an outage says so; later ones are silent.
    bool Refuse(QWidget* parent);
    bool NotAnswering() const { return m_notAnswering; }
    // The poll's verdicts: a failure counts once per outage, a success ends it.
    void PollFailed(const char* call, HRESULT hr);
    // started: when the answered poll began (a poll older than the outage
    // does not end it).
    void PollAnswered(std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now());
    // A poll has stayed unanswered too long.
    void PollOverdue();

    // After a failed call of a user action: the service's error texts, or the
    // call and its result when the service lists none. A call that did not get
    // through puts the program in the not-answering state instead.
    void ShowControllerErrors(QWidget* parent, const char* call, HRESULT hr);
    // The controller pointer was found empty.
    void ShowInternalError(QWidget* parent);

    // Set when the program is forced to end: no more calls to the service.
    bool forced = false;

private:
    void EnterNotAnswering(QWidget* parent);

    Seams m_seams;
    bool m_notAnswering = false;
    std::chrono::steady_clock::time_point m_notAnsweringSince;
    bool m_told = false;
    bool m_pollOutage = false;
};

}  // namespace parvane
