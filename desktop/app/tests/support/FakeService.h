#pragma once
// An in-memory service for the desktop program's tests: a controller whose
// answers the test sets (state, positions, fullness, failures per method),
// that logs every call in order, can hold a method's callers until released,
// and fires its events to advised sinks; beside it the real settings and
// playlist objects and a device list.
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "ipc/tests/support/CallLog.h"
#include "ipc/tests/support/FakeConnectionPoint.h"
#include "ipc/tests/support/FakeEncoder.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

namespace parvanetest {

class FakeDevices final : public plat::ComObject<FakeDevices, ICaptureManager> {
public:
    HRESULT GetFirstDevice(BSTR* p) override;
    HRESULT GetNextDevice(BSTR* p) override;
    HRESULT GetUsedDevice(BSTR* p) override;
    HRESULT GetDefaultDevice(BSTR* p) override;
    std::u16string defaultDevice = u"Tonquil Audio Device";
    std::atomic<HRESULT> defaultAnswer{S_OK};

protected:
    HRESULT QueryExtraInterface(REFIID riid, void** ppv) override;
};

class FakeService final : public plat::ComObject<FakeService, IAudioController, IConnectionPointContainer> {
public:
    FakeService();

    HRESULT Play() override { return Enter("Play"); }
    HRESULT Pause() override { return Enter("Pause"); }
    HRESULT Record() override { return Enter("Record"); }
    HRESULT StopRecord() override { return Enter("StopRecord"); }
    HRESULT Live() override { return Enter("Live"); }
    HRESULT SetPlayPosition(LONGLONG lOffset, EBasicPosition eBasePos) override;
    HRESULT GetPlayPosition(ULONG* p) override { return Get("GetPlayPosition", p, play.load()); }
    HRESULT GetRecordPosition(ULONG* p) override { return Get("GetRecordPosition", p, record.load()); }
    HRESULT GetPercentFullness(BYTE* p) override { return Get("GetPercentFullness", p, BYTE(percent.load())); }
    HRESULT GetTimeFullness(ULONG* p) override { return Get("GetTimeFullness", p, timeFullness.load()); }
    HRESULT GetStartReadPos(ULONG* p) override { return Get("GetStartReadPos", p, startRead.load()); }
    HRESULT UpdateSettings() override { return Enter("UpdateSettings"); }
    HRESULT DropCache(LONG bWait) override { return Enter("DropCache(" + std::to_string(bWait) + ")"); }
    HRESULT GetAvailableCommands(ULONG* p) override { return Get("GetAvailableCommands", p, commands.load()); }
    HRESULT GetCurrentState(ULONG* p) override { return Get("GetCurrentState", p, state.load()); }
    HRESULT CheckState(EState, LONG*) override { return E_NOTIMPL; }
    HRESULT CheckCommand(ECommand, LONG*) override { return E_NOTIMPL; }
    HRESULT IsCacheFull(LONG* p) override { return Get("IsCacheFull", p, cacheFull.load()); }
    HRESULT CreateNewEncoder(IAudioEncoder** ppEncoder, EEncoderType eEncoderType) override;
    HRESULT Destroy() override { return Enter("Destroy"); }
    HRESULT GetErrors(VARIANT* aErrors) override;
    HRESULT SetUndeletableRange(ULONGLONG a, ULONGLONG b) override;
    HRESULT ResetUndeletableRange(ULONGLONG a, ULONGLONG b) override;
    HRESULT ClearPlayList() override { return Enter("ClearPlayList"); }
    HRESULT GetAmountCacheBuffer(UINT* p) override { return Get("GetAmountCacheBuffer", p, UINT(3)); }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // Calls of method (its name, without arguments) answer hr from now on.
    void Fail(const std::string& method, HRESULT hr);
    // Calls of method wait until Unblock; Blocked() counts the waiting ones.
    void Block(const std::string& method);
    void Unblock();
    int Blocked();
    // The calls so far, in order, taken out of the log.
    std::vector<std::string> Calls() { return log.Take(); }
    // Fires to every advised sink (from the calling thread).
    template <class F>
    void Fire(F&& call) {
        m_events->Fire(std::forward<F>(call));
    }
    size_t SinkCount() { return m_events->SinkCount(); }
    // A song in the playlist with these borders and title; its id.
    GUID AddSong(ULONG left, ULONG right, const std::u16string& title);

    std::atomic<ULONG> commands{_ecPlay | _ecRec | _ecLive};
    std::atomic<ULONG> state{_esLive | _esPlay | _esStop};
    std::atomic<ULONG> play{0}, record{0}, startRead{0}, timeFullness{0};
    std::atomic<int> percent{0};
    std::atomic<LONG> cacheFull{0};
    std::vector<std::u16string> errors;  // what GetErrors hands out (then empties)
    std::atomic<bool> encoderBlocks{true};
    ipctest::CallLog log;
    plat::ComPtr<ISettings> settings;
    // What QueryInterface hands out for ISettings (settings when unset), e.g. a
    // wrapper that logs the calls.
    plat::ComPtr<ISettings> handedSettings;
    plat::ComPtr<IPlayList> playlist;
    plat::ComPtr<FakeDevices> devices;
    plat::ComPtr<ipctest::FakeEncoder> lastEncoder;

protected:
    HRESULT QueryExtraInterface(REFIID riid, void** ppv) override;

private:
    HRESULT Enter(const std::string& call);
    template <class T, class V>
    HRESULT Get(const char* name, T* out, V value) {
        if (!out) return E_POINTER;
        HRESULT hr = Enter(name);
        if (SUCCEEDED(hr)) *out = T(value);
        return hr;
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, HRESULT> m_failures;
    std::string m_blocked;
    int m_waiting = 0;
    plat::ComPtr<ipctest::FakeConnectionPoint<_IAudioControllerEvents>> m_events;
};

}  // namespace parvanetest
