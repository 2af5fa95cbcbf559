#include "ipc/tests/support/FakeEncoder.h"

#include "platform/core/Text.h"

namespace ipctest {

std::atomic<int> FakeEncoder::s_live{0};

FakeEncoder::FakeEncoder(EEncoderType type) : m_type(type) {
    ++s_live;
    m_progress = FakeConnectionPoint<_IAudioEncoderEvents>::CreateInstance(this);
}

FakeEncoder::~FakeEncoder() { --s_live; }

namespace {

std::string SongText(ISong* song) {
    GUID id = GUID_NULL;
    song->GetID(&id);
    return plat::GuidToUtf8(id);
}

}  // namespace

HRESULT FakeEncoder::Save(ISong* pSong, BSTR bstrFileName) {
    if (!pSong) return E_POINTER;
    log.Add("Save(" + SongText(pSong) + "," + plat::BstrToUtf8(bstrFileName) + ")");
    m_stop.ResetEvent();
    m_progress->Fire([&](_IAudioEncoderEvents* s) { s->Progress(0, bstrFileName); });
    m_progress->Fire([&](_IAudioEncoderEvents* s) { s->Progress(50, bstrFileName); });
    if (!blockInSave) {
        m_progress->Fire([&](_IAudioEncoderEvents* s) { s->Progress(100, bstrFileName); });
        return answer;
    }
    saving.Set();
    DWORD waited = m_stop.Wait(kSafetyMs);
    saving.ResetEvent();
    return waited == plat::WAIT_OBJECT_0 ? answer.load() : E_ABORT;
}

HRESULT FakeEncoder::SaveGroup(VARIANT varSongs, BSTR bstrDirPath) {
    std::vector<IUnknown*> items;
    if (FAILED(plat::ReadUnknownArray(varSongs, &items))) return E_INVALIDARG;
    std::string text = "SaveGroup(";
    HRESULT hr = answer;
    for (IUnknown* item : items) {
        plat::ComPtr<ISong> song;
        if (!item || FAILED(item->QueryInterface(IID_ISong, reinterpret_cast<void**>(song.GetAddressOf())))) {
            hr = E_FAIL;
        } else {
            text += SongText(song.Get()) + ",";
        }
        if (item) item->Release();
    }
    log.Add(text + plat::BstrToUtf8(bstrDirPath) + ")");
    return hr;
}

void FakeEncoder::FireProgress(UINT percent, BSTR path) {
    m_progress->Fire([&](_IAudioEncoderEvents* s) { s->Progress(percent, path); });
}

HRESULT FakeEncoder::StopSave() {
    log.Add("StopSave()");
    m_stop.Set();
    return S_OK;
}

HRESULT FakeEncoder::SetConstantBitrate(ULONG dwBitrate) {
    log.Add("SetConstantBitrate(" + std::to_string(dwBitrate) + ")");
    return answer;
}

HRESULT FakeEncoder::SetMinMaxBitrates(ULONG dwMinBitrate, ULONG dwMaxBitrate) {
    log.Add("SetMinMaxBitrates(" + std::to_string(dwMinBitrate) + "," + std::to_string(dwMaxBitrate) + ")");
    return answer;
}

HRESULT FakeEncoder::DeleteSilenceStartEnd(LONG bYes) {
    log.Add("DeleteSilenceStartEnd(" + std::to_string(bYes) + ")");
    return answer;
}

HRESULT FakeEncoder::LowVolumeStartEnd(LONG bYes) {
    log.Add("LowVolumeStartEnd(" + std::to_string(bYes) + ")");
    return answer;
}

HRESULT FakeEncoder::SetCachePtr(ICache* pCache) {
    log.Add(pCache ? "SetCachePtr(cache)" : "SetCachePtr(null)");
    return pCache ? S_OK : E_POINTER;
}

HRESULT FakeEncoder::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (riid != DIID__IAudioEncoderEvents) return CONNECT_E_NOCONNECTION;
    IConnectionPoint* point = m_progress.Get();
    point->AddRef();
    *ppCP = point;
    return S_OK;
}

}  // namespace ipctest
