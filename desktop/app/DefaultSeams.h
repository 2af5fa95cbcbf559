#pragma once
// The real seams: Qt's message boxes and file dialogs, the desktop's URL
// opener, the sound backend of platform/sound, the session bus.
#include "desktop/app/Seams.h"

namespace parvane {

class QtPrompter final : public Prompter {
public:
    Answer Show(QWidget* parent, const QString& text, Icon icon, Buttons buttons) override;
};

class QtFileDialogs final : public FileDialogs {
public:
    QString SaveFile(QWidget* parent, const QString& defaultSuffix, const QString& filter, const QString& start) override;
    QString Folder(QWidget* parent, const QString& title, const QString& start) override;
};

class DesktopUrlOpener final : public UrlOpener {
public:
    void Open(const QUrl& url) override;
};

// The sound backend of the process (TONQUIL_SOUND chooses it).
class PlatformSoundDevices final : public SoundDevices {
public:
    int CountPlaybackDevices() override;
    bool MakeDefaultPlayback(const QString& namePart) override;
};

// The service on the session bus: started by the user's service manager, bus
// activation or as a program, whichever answers.
class BusServiceLink final : public ServiceLink {
public:
    HRESULT StartServiceAndConnect(IAudioController** controller) override;
    HRESULT FindObjectInRot(IAudioController** controller) override;
    HRESULT ServiceOwner(std::string* owner) override;
};

class WaitingSleeper final : public Sleeper {
public:
    bool Sleep(int milliseconds, CancelFlag& cancel) override { return cancel.WaitFor(milliseconds); }
};

}  // namespace parvane
