#pragma once
// A controller for the contract tests: it records every call with its
// arguments, answers with a settable HRESULT and fixed out-values (written
// even when it answers a failure, so tests see that a failed call leaves the
// caller's values alone), hands out the settings, playlist and device lists
// it was given through QueryInterface, makes fake encoders and fires its
// events to advised sinks.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "ipc/QXServiceLib.h"
#include "ipc/tests/support/CallLog.h"
#include "ipc/tests/support/FakeConnectionPoint.h"
#include "ipc/tests/support/FakeEncoder.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

namespace ipctest {

class FakeController final : public plat::ComObject<FakeController, IAudioController, IConnectionPointContainer> {
public:
    // The out-values of the getters.
    static constexpr ULONG kPlayPosition = 1001;
    static constexpr ULONG kRecordPosition = 1002;
    static constexpr BYTE kPercent = 77;
    static constexpr ULONG kTimeFullness = 1004;
    static constexpr ULONG kStartReadPos = 1005;
    static constexpr ULONG kCommands = _ecPlay | _ecRec | _ecBack;
    static constexpr ULONG kState = _esLive | _esPlay | _esStop | _esAtLastPos;
    static constexpr UINT kBuffers = 3;

    FakeController(ISettings* settings, IPlayList* playlist, ICaptureManager* playback, ICaptureManager* capture);

    HRESULT Play() override;
    HRESULT Pause() override;
    HRESULT Record() override;
    HRESULT StopRecord() override;
    HRESULT Live() override;
    HRESULT SetPlayPosition(LONGLONG lOffset, EBasicPosition eBasePos) override;
    HRESULT GetPlayPosition(ULONG* pdwAbsPos) override;
    HRESULT GetRecordPosition(ULONG* pdwAbsPos) override;
    HRESULT GetPercentFullness(BYTE* pPercent) override;
    HRESULT GetTimeFullness(ULONG* pTime) override;
    HRESULT GetStartReadPos(ULONG* pPos) override;
    HRESULT UpdateSettings() override;
    HRESULT DropCache(LONG bWait) override;
    HRESULT GetAvailableCommands(ULONG* pCommands) override;
    HRESULT GetCurrentState(ULONG* pState) override;
    HRESULT CheckState(EState eState, LONG* pYes) override;
    HRESULT CheckCommand(ECommand eCommand, LONG* pYes) override;
    HRESULT IsCacheFull(LONG* pYes) override;
    HRESULT CreateNewEncoder(IAudioEncoder** ppEncoder, EEncoderType eEncoderType) override;
    HRESULT Destroy() override;
    HRESULT GetErrors(VARIANT* aErrors) override;
    HRESULT SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) override;
    HRESULT ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) override;
    HRESULT ClearPlayList() override;
    HRESULT GetAmountCacheBuffer(UINT* pAmount) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // Fires the eight events in slot order, the GUID ones with song.
    void FireAllEvents(const GUID& song);
    size_t EventSinkCount() { return m_events->SinkCount(); }

    CallLog log;
    std::atomic<HRESULT> answer{S_OK};
    // The getter named (as logged, "GetPlayPosition()") answers code instead
    // of answer; an empty name fails none.
    void FailGetter(const std::string& call, HRESULT code);
    // Play() throws instead of answering: 1 a std::runtime_error, 2 std::bad_alloc.
    std::atomic<int> playThrows{0};
    // The last encoder made, kept when keepLastEncoder is set.
    std::atomic<bool> keepLastEncoder{true};
    plat::ComPtr<FakeEncoder> lastEncoder;
    // When set, makes the encoders in place of fakes (set it before the first
    // CreateNewEncoder): real encoders on the bus.
    std::function<IAudioEncoder*(EEncoderType)> encoderMaker;

protected:
    HRESULT QueryExtraInterface(REFIID riid, void** ppv) override;

private:
    HRESULT GetterAnswer(const std::string& call);

    std::mutex m_failLock;
    std::string m_failingGetter;
    HRESULT m_failingAnswer = S_OK;
    plat::ComPtr<ISettings> m_settings;
    plat::ComPtr<IPlayList> m_playlist;
    plat::ComPtr<ICaptureManager> m_playback;
    plat::ComPtr<ICaptureManager> m_capture;
    plat::ComPtr<FakeConnectionPoint<_IAudioControllerEvents>> m_events;
};

}  // namespace ipctest
