// The cache and playlist commands, the error list and encoder creation.
#include "log/Trace.h"
#include "platform/com/Variant.h"
#include "service/controller/KAudioController.h"
#include "service/controller/KEngineLock.h"

HRESULT KAudioController::DropCache(LONG bWait) {
    if (m_bDestroyed) return E_UNEXPECTED;
    KMaintenanceWaker waker(*this);
    // Under the command lock: no transport command and no folder switch comes
    // between the clear and the return to live, and ClearPlayList reaches the
    // clients once the lock is let go, before this call returns.
    KEngineLock commands(m_stateMutex, m_cEventGate);
    {
        KEngineLock detector(m_detectorMutex, m_cEventGate);
        m_cSongDetector.Reset();
    }
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pPlaylist->Clear())) {
        TQ_REPORT(EC_INTERNAL, hr, u"Playlist clearing was failed");
        return hr;
    }
    // The playlist is empty now, whatever the cache does next: the clients'
    // lists are emptied too (the event goes out once the lock is let go).
    RaiseClearPlayList();
    if (TQ_FAILED(hr, m_pCache->Clear(bWait))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Cache clearing was failed");
        return hr;
    }
    ULONGLONG nWritePos = 0;
    if (TQ_FAILED(hr, m_pCache->GetWritePos(&nWritePos))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting cache record position was failed");
        return hr;
    }
    {
        // The next song found starts here.
        KEngineLock detector(m_detectorMutex, m_cEventGate);
        m_cSongDetector.MarkBoundary(static_cast<LONGLONG>(nWritePos));
    }
    DWORD dwState = GetState();
    if ((dwState & _esReplay) && (dwState & _esPlay)) {
        if (TQ_FAILED(hr, ProcessCommand(_ecLive))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Live command was failed");
            return hr;
        }
    }
    return S_OK;
}

HRESULT KAudioController::ClearPlayList() {
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, m_pPlaylist->Clear())) {
        TQ_REPORT(EC_INTERNAL, hr, u"Playlist clearing was failed");
        return hr;
    }
    RaiseClearPlayList();
    return S_OK;
}

HRESULT KAudioController::GetErrors(VARIANT* aErrors) {
    TQ_CHECK_POINTER(aErrors);
    // The texts leave the list only once the client's array holds them all:
    // an array that cannot be built leaves them for the next fetch.
    VARIANT built;
    VariantInit(&built);
    HRESULT hr = E_FAIL;
    KErrorLog::Instance().TakeErrors([&](const std::vector<std::u16string>& texts) {
        hr = plat::MakeStringArray(texts, &built);
        return SUCCEEDED(hr);
    });
    if (FAILED(hr)) {
        TQ_TRACE_HR("FALSE");
        TQ_REPORT(EC_INTERNAL, hr, u"Safe array error");
        return hr;
    }
    // The previous content is not the engine's to free; the client owns the array.
    *aErrors = built;
    return S_OK;
}

HRESULT KAudioController::CreateNewEncoder(IAudioEncoder** ppEncoder, EEncoderType eEncoderType) {
    TQ_CHECK_POINTER(ppEncoder);
    if (!KEncoderFactories::IsKnownType(eEncoderType)) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"Unknown type of audio encoder");
        return E_INVALIDARG;
    }
    KEncoderFactory factory;
    if (m_components.encoderFactory) factory = m_components.encoderFactory(eEncoderType);
    if (!factory) {
        TQ_TRACE_HR("E_NOTIMPL");
        TQ_REPORT(EC_INTERNAL, E_NOTIMPL, u"No audio encoder of this type");
        return E_NOTIMPL;
    }
    plat::ComPtr<IAudioEncoder> newEncoder(factory());
    if (!newEncoder) {
        TQ_TRACE_HR("E_POINTER");
        TQ_REPORT(EC_INTERNAL, E_POINTER, u"Invalid pointer");
        return E_POINTER;
    }
    HRESULT hr = S_OK;
    if (TQ_FAILED(hr, newEncoder->SetCachePtr(m_pCache))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Setting pointer on cache for audio encoder was failed");
        return hr;
    }
    IAudioEncoder* pEncoder = nullptr;
    if (TQ_FAILED(hr, newEncoder->QueryInterface(IID_IAudioEncoder, reinterpret_cast<void**>(&pEncoder)))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting audio encoder interface was failed");
        return hr;
    }
    // The creation reference goes with newEncoder: the caller holds the only one.
    *ppEncoder = pEncoder;
    return S_OK;
}
