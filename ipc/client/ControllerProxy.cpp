#include "ipc/client/ControllerProxy.h"

#include <array>
#include <mutex>

#include "ipc/client/ProxyConnectionPoint.h"

namespace ipc {

HRESULT ControllerProxy::Play() {
    return Invoke(&QXServiceLib::IAudioController_proxy::Play);
}

HRESULT ControllerProxy::Pause() {
    return Invoke(&QXServiceLib::IAudioController_proxy::Pause);
}

HRESULT ControllerProxy::Record() {
    return Invoke(&QXServiceLib::IAudioController_proxy::Record);
}

HRESULT ControllerProxy::StopRecord() {
    return Invoke(&QXServiceLib::IAudioController_proxy::StopRecord);
}

HRESULT ControllerProxy::Live() {
    return Invoke(&QXServiceLib::IAudioController_proxy::Live);
}

HRESULT ControllerProxy::SetPlayPosition(LONGLONG lOffset, EBasicPosition eBasePos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::SetPlayPosition, lOffset, eBasePos);
}

HRESULT ControllerProxy::GetPlayPosition(ULONG* pdwAbsPos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetPlayPosition, pdwAbsPos);
}

HRESULT ControllerProxy::GetRecordPosition(ULONG* pdwAbsPos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetRecordPosition, pdwAbsPos);
}

HRESULT ControllerProxy::GetPercentFullness(BYTE* pPercent) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetPercentFullness, pPercent);
}

HRESULT ControllerProxy::GetTimeFullness(ULONG* pTime) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetTimeFullness, pTime);
}

HRESULT ControllerProxy::GetStartReadPos(ULONG* pPos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetStartReadPos, pPos);
}

HRESULT ControllerProxy::UpdateSettings() {
    // Opening devices takes the service a while (each settles): no client
    // time-out, as for a save.
    return InvokeWaiting(QXServiceLib::IAudioController_proxy::INTERFACE_NAME, "UpdateSettings");
}

HRESULT ControllerProxy::DropCache(LONG bWait) {
    return Invoke(&QXServiceLib::IAudioController_proxy::DropCache, bWait);
}

HRESULT ControllerProxy::GetAvailableCommands(ULONG* pCommands) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetAvailableCommands, pCommands);
}

HRESULT ControllerProxy::GetCurrentState(ULONG* pState) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetCurrentState, pState);
}

HRESULT ControllerProxy::CheckState(EState eState, LONG* pYes) {
    return Invoke(&QXServiceLib::IAudioController_proxy::CheckState, eState, pYes);
}

HRESULT ControllerProxy::CheckCommand(ECommand eCommand, LONG* pYes) {
    return Invoke(&QXServiceLib::IAudioController_proxy::CheckCommand, eCommand, pYes);
}

HRESULT ControllerProxy::IsCacheFull(LONG* pYes) {
    return Invoke(&QXServiceLib::IAudioController_proxy::IsCacheFull, pYes);
}

HRESULT ControllerProxy::CreateNewEncoder(IAudioEncoder** ppEncoder, EEncoderType eEncoderType) {
    return Invoke(&QXServiceLib::IAudioController_proxy::CreateNewEncoder, ppEncoder, eEncoderType);
}

HRESULT ControllerProxy::Destroy() {
    return Invoke(&QXServiceLib::IAudioController_proxy::Destroy);
}

HRESULT ControllerProxy::GetErrors(VARIANT* aErrors) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetErrors, aErrors);
}

HRESULT ControllerProxy::SetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::SetUndeletableRange, llStartPos, llEndPos);
}

HRESULT ControllerProxy::ResetUndeletableRange(ULONGLONG llStartPos, ULONGLONG llEndPos) {
    return Invoke(&QXServiceLib::IAudioController_proxy::ResetUndeletableRange, llStartPos, llEndPos);
}

HRESULT ControllerProxy::ClearPlayList() {
    return Invoke(&QXServiceLib::IAudioController_proxy::ClearPlayList);
}

HRESULT ControllerProxy::GetAmountCacheBuffer(UINT* pAmount) {
    return Invoke(&QXServiceLib::IAudioController_proxy::GetAmountCacheBuffer, pAmount);
}

HRESULT ControllerProxy::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    return ProxyConnectionPoint::Find(this, m_sinks, DIID__IAudioControllerEvents, riid, ppCP);
}

HRESULT ControllerProxy::ReadPollRound(PollReadings* out) {
    if (!out) return E_POINTER;
    *out = PollReadings{};
    // In the order the round reports its first failure.
    static constexpr std::array<const char*, 8> kCalls = {
        "GetAvailableCommands", "GetCurrentState", "IsCacheFull",     "GetTimeFullness",
        "GetPercentFullness",   "GetPlayPosition", "GetRecordPosition", "GetStartReadPos"};
    constexpr size_t kIsCacheFull = 2, kPercent = 4;
    // Shared with the answers, which may come after a lost bus ended the wait.
    struct Round {
        std::mutex lock;
        size_t left = kCalls.size();
        std::array<bool, kCalls.size()> answered{};
        std::array<HRESULT, kCalls.size()> hr{};
        std::array<uint32_t, kCalls.size()> value{};
        plat::Event done{plat::Event::Reset::Manual};
        void Answer(size_t i, const sdbus::Error* error, int32_t result, uint32_t v) {
            std::lock_guard g(lock);
            answered[i] = true;
            hr[i] = error ? BusError::ToHResult(*error) : result;
            value[i] = v;
            if (--left == 0) done.Set();
        }
        // The calls from `from` on were never sent: they fail with `failed`.
        void Unsent(size_t from, HRESULT failed) {
            std::lock_guard g(lock);
            for (size_t i = from; i < kCalls.size(); ++i) {
                answered[i] = true;
                hr[i] = failed;
            }
            left -= kCalls.size() - from;
            if (left == 0) done.Set();
        }
    };
    std::shared_ptr<Round> round;
    try {
        round = std::make_shared<Round>();
    } catch (const std::bad_alloc&) {
        out->hr = E_OUTOFMEMORY;
        out->failedCall = kCalls[0];
        return out->hr;
    }
    size_t sent = 0;
    try {
        for (; sent < kCalls.size(); ++sent) {
            auto call = m_proxy->callMethodAsync(kCalls[sent])
                            .onInterface(QXServiceLib::IAudioController_proxy::INTERFACE_NAME);
            const size_t i = sent;
            if (i == kIsCacheFull) {
                call.uponReplyInvoke([round, i](const sdbus::Error* e, int32_t hr, int32_t v) {
                    round->Answer(i, e, hr, static_cast<uint32_t>(v));
                });
            } else if (i == kPercent) {
                call.uponReplyInvoke(
                    [round, i](const sdbus::Error* e, int32_t hr, uint8_t v) { round->Answer(i, e, hr, v); });
            } else {
                call.uponReplyInvoke(
                    [round, i](const sdbus::Error* e, int32_t hr, uint32_t v) { round->Answer(i, e, hr, v); });
            }
        }
    } catch (const sdbus::Error& e) {
        // What could not be sent fails as the bus said; what was sent still answers.
        round->Unsent(sent, BusError::ToHResult(e));
    } catch (const std::bad_alloc&) {
        round->Unsent(sent, E_OUTOFMEMORY);
    }
    // Every call has the connection's time-out, so every one answers, if
    // only with an error; a bus that goes away answers none of them.
    plat::Event* lost = m_ctx.connection->LostEvent();
    if (lost)
        plat::WaitAny({&round->done, lost}, INFINITE);
    else
        round->done.Wait(INFINITE);

    std::lock_guard g(round->lock);
    for (size_t i = 0; i < kCalls.size(); ++i) {
        // A call still unanswered when the bus went has no one left to answer it.
        const HRESULT hr = round->answered[i] ? round->hr[i] : RPC_E_SERVER_UNAVAILABLE;
        if (FAILED(hr)) {
            out->hr = hr;
            out->failedCall = kCalls[i];
            break;
        }
        const uint32_t v = round->value[i];
        switch (i) {
        case 0: out->commands = v; break;
        case 1: out->state = v; break;
        case 2: out->cacheFull = static_cast<LONG>(v); break;
        case 3: out->timeFullness = v; break;
        case 4: out->percent = static_cast<BYTE>(v); break;
        case 5: out->play = v; break;
        case 6: out->record = v; break;
        default: out->startRead = v; break;
        }
    }
    return out->hr;
}

}  // namespace ipc
