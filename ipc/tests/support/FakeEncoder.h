#pragma once
// An encoder for the contract tests: it records its options, and its Save
// reports progress and then blocks until StopSave (or a safety time-out), so
// that tests can see that other calls are served while a save runs.
#include <atomic>

#include "ipc/QXServiceLib.h"
#include "ipc/tests/support/CallLog.h"
#include "ipc/tests/support/FakeConnectionPoint.h"
#include "platform/com/ComObject.h"
#include "platform/core/Sync.h"

namespace ipctest {

class FakeEncoder final : public plat::ComObject<FakeEncoder, IAudioEncoder, IConnectionPointContainer> {
public:
    // Encoders alive in this process (a leak shows as a count that stays up).
    static std::atomic<int> s_live;
    // How long a blocked Save waits for StopSave before it gives up (E_ABORT).
    static constexpr DWORD kSafetyMs = 20000;

    explicit FakeEncoder(EEncoderType type);
    ~FakeEncoder() override;

    HRESULT Save(ISong* pSong, BSTR bstrFileName) override;
    HRESULT SaveGroup(VARIANT varSongs, BSTR bstrDirPath) override;
    HRESULT StopSave() override;
    HRESULT SetConstantBitrate(ULONG dwBitrate) override;
    HRESULT SetMinMaxBitrates(ULONG dwMinBitrate, ULONG dwMaxBitrate) override;
    HRESULT DeleteSilenceStartEnd(LONG bYes) override;
    HRESULT LowVolumeStartEnd(LONG bYes) override;
    HRESULT SetCachePtr(ICache* pCache) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    EEncoderType Type() const { return m_type; }
    // Raises a Progress event now (as a save in progress does).
    void FireProgress(UINT percent, BSTR path);
    CallLog log;
    // Set while Save is blocked waiting for StopSave.
    plat::Event saving{plat::Event::Reset::Manual};
    // When false, Save finishes at once (progress 0, 50, 100) instead of blocking.
    std::atomic<bool> blockInSave{true};
    std::atomic<HRESULT> answer{S_OK};

private:
    EEncoderType m_type;
    plat::Event m_stop{plat::Event::Reset::Manual};
    plat::ComPtr<FakeConnectionPoint<_IAudioEncoderEvents>> m_progress;
};

}  // namespace ipctest
