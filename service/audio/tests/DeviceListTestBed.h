#pragma once
// What the sound-device tests share: a manual clock (so prescribed waits
// cost nothing), a virtual sound system with a manual clock of its own, a
// private error log, and helpers to read what was reported.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"
#include "platform/core/Clock.h"
#include "platform/core/LastError.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "platform/sound/SoundGenerator.h"
#include "platform/sound/VirtualSoundSystem.h"

inline OWAVEFORMATEX EngineFormat() { return OWAVEFORMATEX{1, 2, 48000, 192000, 4, 16, 0}; }

class DeviceTestBed : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tq-dev-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = plat::ToUtf16(tmpl);
        ASSERT_TRUE(KErrorLog::Instance().OpenLogFile(m_dir + u"/log.log"));
        KErrorLog::Instance().ClearErrors();
        if (UseManualClock()) plat::SetClock(&clock);
        sys = plat::VirtualSoundSystem::Create();
        plat::SetSoundSystem(sys);
        plat::SetLastError(0);
    }
    void TearDown() override {
        plat::SetSoundSystem(nullptr);
        plat::SetClock(nullptr);
        KErrorLog::Instance().ClearErrors();
        plat::DeleteFolderRecursive(m_dir);
    }
    virtual bool UseManualClock() const { return true; }

    // The codes collected in the error list (and empties it).
    static std::vector<LONG> Codes() {
        std::vector<LONG> codes;
        LONG code;
        while (KErrorLog::Instance().PopError(&code, nullptr)) codes.push_back(code);
        return codes;
    }
    static std::vector<std::u16string> Texts() {
        std::vector<std::u16string> texts;
        KErrorLog::Instance().GetErrors(&texts);
        return texts;
    }
    // The log decoded from UTF-16LE.
    std::u16string Log() const {
        std::ifstream in(plat::ToUtf8(m_dir + u"/log.log"), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::u16string text;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return text;
    }
    bool LogHas(const std::u16string& text) const { return Log().find(text) != std::u16string::npos; }

    plat::ManualClock clock{1000};
    std::shared_ptr<plat::VirtualSoundSystem> sys;
    std::u16string m_dir;
};

// Walks a device manager: GetFirstDevice, then GetNextDevice until it fails.
inline std::vector<std::u16string> Walk(IAudioManager* m) {
    std::vector<std::u16string> names;
    plat::Bstr s;
    if (FAILED(m->GetFirstDevice(s.Out())) || s.IsNull()) return names;
    names.push_back(s.Str());
    while (SUCCEEDED(m->GetNextDevice(s.Out()))) names.push_back(s.Str());
    return names;
}
