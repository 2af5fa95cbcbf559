#include "ipc/tests/support/FakeController.h"

#include <new>
#include <stdexcept>
#include <string>

#include "platform/core/Text.h"

namespace ipctest {

FakeController::FakeController(ISettings* settings, IPlayList* playlist, ICaptureManager* playback,
                               ICaptureManager* capture)
    : m_settings(settings), m_playlist(playlist), m_playback(playback), m_capture(capture) {
    m_events = FakeConnectionPoint<_IAudioControllerEvents>::CreateInstance(this);
}

#define FAKE_CALL(text) \
    log.Add(text);      \
    return answer

HRESULT FakeController::Play() {
    if (playThrows == 1) throw std::runtime_error("the fake controller throws");
    if (playThrows == 2) throw std::bad_alloc();
    FAKE_CALL("Play()");
}
HRESULT FakeController::Pause() { FAKE_CALL("Pause()"); }
HRESULT FakeController::Record() { FAKE_CALL("Record()"); }
HRESULT FakeController::StopRecord() { FAKE_CALL("StopRecord()"); }
HRESULT FakeController::Live() { FAKE_CALL("Live()"); }
HRESULT FakeController::UpdateSettings() { FAKE_CALL("UpdateSettings()"); }
HRESULT FakeController::ClearPlayList() { FAKE_CALL("ClearPlayList()"); }
HRESULT FakeController::Destroy() { FAKE_CALL("Destroy()"); }

HRESULT FakeController::SetPlayPosition(LONGLONG lOffset, EBasicPosition eBasePos) {
    FAKE_CALL("SetPlayPosition(" + std::to_string(lOffset) + "," + std::to_string(eBasePos) + ")");
}

HRESULT FakeController::DropCache(LONG bWait) { FAKE_CALL("DropCache(" + std::to_string(bWait) + ")"); }

HRESULT FakeController::SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    FAKE_CALL("SetUndeletableRange(" + std::to_string(llStartPos) + "," + std::to_string(llEndPos) + ")");
}

HRESULT FakeController::ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    FAKE_CALL("ResetUndeletableRange(" + std::to_string(llStartPos) + "," + std::to_string(llEndPos) + ")");
}

void FakeController::FailGetter(const std::string& call, HRESULT code) {
    std::lock_guard g(m_failLock);
    m_failingGetter = call;
    m_failingAnswer = code;
}

HRESULT FakeController::GetterAnswer(const std::string& call) {
    std::lock_guard g(m_failLock);
    return !m_failingGetter.empty() && call == m_failingGetter ? m_failingAnswer : answer.load();
}

#define FAKE_GET(name, param, value) \
    if (!param) return E_POINTER;     \
    *param = value;                   \
    log.Add(name "()");               \
    return GetterAnswer(name "()")

HRESULT FakeController::GetPlayPosition(ULONG* p) { FAKE_GET("GetPlayPosition", p, kPlayPosition); }
HRESULT FakeController::GetRecordPosition(ULONG* p) { FAKE_GET("GetRecordPosition", p, kRecordPosition); }
HRESULT FakeController::GetPercentFullness(BYTE* p) { FAKE_GET("GetPercentFullness", p, kPercent); }
HRESULT FakeController::GetTimeFullness(ULONG* p) { FAKE_GET("GetTimeFullness", p, kTimeFullness); }
HRESULT FakeController::GetStartReadPos(ULONG* p) { FAKE_GET("GetStartReadPos", p, kStartReadPos); }
HRESULT FakeController::GetAvailableCommands(ULONG* p) { FAKE_GET("GetAvailableCommands", p, kCommands); }
HRESULT FakeController::GetCurrentState(ULONG* p) { FAKE_GET("GetCurrentState", p, kState); }
HRESULT FakeController::IsCacheFull(LONG* p) { FAKE_GET("IsCacheFull", p, 1); }
HRESULT FakeController::GetAmountCacheBuffer(UINT* p) { FAKE_GET("GetAmountCacheBuffer", p, kBuffers); }

HRESULT FakeController::CheckState(EState eState, LONG* pYes) {
    if (!pYes) return E_POINTER;
    *pYes = (eState & kState) ? 1 : 0;
    FAKE_CALL("CheckState(" + std::to_string(eState) + ")");
}

HRESULT FakeController::CheckCommand(ECommand eCommand, LONG* pYes) {
    if (!pYes) return E_POINTER;
    *pYes = (eCommand & kCommands) ? 1 : 0;
    FAKE_CALL("CheckCommand(" + std::to_string(eCommand) + ")");
}

HRESULT FakeController::CreateNewEncoder(IAudioEncoder** ppEncoder, EEncoderType eEncoderType) {
    if (!ppEncoder) return E_POINTER;
    log.Add("CreateNewEncoder(" + std::to_string(eEncoderType) + ")");
    *ppEncoder = nullptr;
    if (FAILED(answer)) return answer;
    if (encoderMaker) {
        plat::ComPtr<IAudioEncoder> made(encoderMaker(eEncoderType));
        return made ? made->QueryInterface(IID_IAudioEncoder, reinterpret_cast<void**>(ppEncoder)) : E_NOTIMPL;
    }
    FakeEncoder* encoder = FakeEncoder::CreateInstance(eEncoderType);
    if (!encoder) return E_OUTOFMEMORY;
    plat::ComPtr<FakeEncoder> hold(encoder);
    if (keepLastEncoder) lastEncoder = hold;
    return encoder->QueryInterface(IID_IAudioEncoder, reinterpret_cast<void**>(ppEncoder));
}

HRESULT FakeController::GetErrors(VARIANT* aErrors) {
    if (!aErrors) return E_POINTER;
    log.Add("GetErrors()");
    HRESULT hr = plat::MakeStringArray({u"Cache saving was failed", u"Ünïcode – error"}, aErrors);
    return FAILED(hr) ? hr : answer.load();
}

HRESULT FakeController::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (riid != DIID__IAudioControllerEvents) return CONNECT_E_NOCONNECTION;
    IConnectionPoint* point = m_events.Get();
    point->AddRef();
    *ppCP = point;
    return S_OK;
}

void FakeController::FireAllEvents(const GUID& song) {
    plat::Bstr text(plat::GuidToString(song));
    m_events->Fire([&](_IAudioControllerEvents* s) { s->SongDetected(text); });
    m_events->Fire([](_IAudioControllerEvents* s) { s->CacheAlmostFull(5); });
    m_events->Fire([&](_IAudioControllerEvents* s) { s->SongDeleted(text); });
    m_events->Fire([](_IAudioControllerEvents* s) { s->DiskAlmostFull(3); });
    m_events->Fire([](_IAudioControllerEvents* s) { s->DiskFull(); });
    m_events->Fire([](_IAudioControllerEvents* s) { s->ClearPlayList(); });
    m_events->Fire([](_IAudioControllerEvents* s) { s->CacheLoaded(3600000); });
    m_events->Fire([](_IAudioControllerEvents* s) { s->CacheLoading(); });
}

HRESULT FakeController::QueryExtraInterface(REFIID riid, void** ppv) {
    IUnknown* part = nullptr;
    if (riid == IID_ISettings)
        part = m_settings.Get();
    else if (riid == IID_IPlayList)
        part = m_playlist.Get();
    else if (riid == IID_IAudioManager)
        part = m_playback.Get();
    else if (riid == IID_ICaptureManager)
        part = m_capture.Get();
    if (!part) return E_NOINTERFACE;
    return part->QueryInterface(riid, ppv);
}

}  // namespace ipctest
