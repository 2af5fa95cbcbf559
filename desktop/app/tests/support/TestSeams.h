#pragma once
// Fakes of the program's seams that record what the program asked for.
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <mutex>

#include "desktop/app/Seams.h"

namespace parvanetest {

struct Prompt {
    QString text;
    parvane::Icon icon;
    parvane::Buttons buttons;
};

// Answers Yes (or Ok) unless told otherwise, one scripted answer per prompt.
class FakePrompter final : public parvane::Prompter {
public:
    parvane::Answer Show(QWidget*, const QString& text, parvane::Icon icon, parvane::Buttons buttons) override {
        std::lock_guard lock(m_mutex);
        prompts.push_back({text, icon, buttons});
        if (!answers.empty()) {
            parvane::Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == parvane::Buttons::Ok ? parvane::Answer::Ok : parvane::Answer::Yes;
    }
    QStringList Texts() {
        std::lock_guard lock(m_mutex);
        QStringList texts;
        for (const auto& p : prompts) texts << p.text;
        return texts;
    }
    std::deque<parvane::Answer> answers;
    std::vector<Prompt> prompts;

private:
    std::mutex m_mutex;
};

class FakeFiles final : public parvane::FileDialogs {
public:
    QString SaveFile(QWidget*, const QString&, const QString&, const QString& start) override {
        lastStart = start;
        return file;
    }
    QString Folder(QWidget*, const QString&, const QString& start) override {
        lastStart = start;
        return folder;
    }
    QString file, folder;
    QString lastStart;  // where the last dialog opened
};

// A link whose answers the test sets; counts its calls.
class FakeLink final : public parvane::ServiceLink {
public:
    HRESULT StartServiceAndConnect(IAudioController** c) override {
        ++starts;
        if (FAILED(startAnswer)) return startAnswer;
        return Give(c);
    }
    HRESULT FindObjectInRot(IAudioController** c) override {
        int n = ++finds;
        if (gone || n <= failFirstFinds) return RPC_E_SERVER_UNAVAILABLE;
        return Give(c);
    }
    HRESULT ServiceOwner(std::string* o) override {
        ++ownerLooks;
        std::lock_guard lock(m_ownerMutex);
        if (gone) {
            o->clear();
            return S_FALSE;
        }
        *o = owner;
        return S_OK;
    }
    void SetOwner(std::string o) {
        std::lock_guard lock(m_ownerMutex);
        owner = std::move(o);
    }
    plat::ComPtr<IAudioController> controller;
    std::atomic<HRESULT> startAnswer{E_FAIL};
    std::atomic<int> failFirstFinds{0};
    std::atomic<bool> gone{false};
    std::atomic<int> starts{0}, finds{0}, ownerLooks{0};

private:
    std::mutex m_ownerMutex;
    std::string owner = ":1.1";
    HRESULT Give(IAudioController** c) {
        if (!controller) return RPC_E_SERVER_UNAVAILABLE;
        return controller.CopyTo(c);
    }
};

class FakeSound final : public parvane::SoundDevices {
public:
    int CountPlaybackDevices() override { return count; }
    bool MakeDefaultPlayback(const QString& part) override {
        madeDefault << part;
        return canMakeDefault;
    }
    int count = 3;
    bool canMakeDefault = true;
    QStringList madeDefault;
};

class FakeSleeper final : public parvane::Sleeper {
public:
    bool Sleep(int ms, parvane::CancelFlag& cancel) override {
        ++sleeps;
        total += ms;
        return !cancel.IsSet();
    }
    std::atomic<int> sleeps{0};
    std::atomic<int> total{0};
};

class FakeExiter final : public parvane::Exiter {
public:
    void Exit(int code) override { codes.push_back(code); }
    std::vector<int> codes;
};

// Every seam, faked, ready to hand to the program.
struct TestSeams {
    FakePrompter prompter;
    FakeFiles files;
    FakeLink link;
    FakeSound sound;
    FakeSleeper sleeper;
    FakeExiter exiter;
    parvane::Seams Make() {
        parvane::Seams s;
        s.prompter = &prompter;
        s.files = &files;
        s.link = &link;
        s.sound = &sound;
        s.sleeper = &sleeper;
        s.exiter = &exiter;
        s.watchdogPeriodMs = 50;
        s.connectPauseMs = 1;
        s.notAnsweringMs = 200;
        s.saveStopWaitMs = 10000;
        return s;
    }
};

}  // namespace parvanetest
