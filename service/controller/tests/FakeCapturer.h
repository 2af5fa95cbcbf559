#pragma once
// A capturer that hands out the blocks a test queues, one per GetData, and
// fails at once (as after its time-out) when none is queued.
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/com/ComObject.h"
#include "service/audio/IAudioCapturer.h"

class FakeCapturer final : public plat::ComObject<FakeCapturer, IAudioCapturer, ICaptureManager> {
public:
    static constexpr ULONG kBufferSize = 384000;
    static std::vector<std::u16string>& Devices();

    void Queue(std::vector<BYTE> block);
    std::u16string Device();
    bool IsOpen();
    int Calls(const std::string& method);
    void Fail(const std::string& method, HRESULT hr);
    void SetBufferSize(ULONG size);
    // GetData waits (as for a device that sends nothing) until Uninitialize
    // or Initialize takes the capturer over, the block is lifted, or 30 s
    // have passed (counted as "GetDataTimedOut").
    void BlockGetData(bool block);

    HRESULT Initialize(OWAVEFORMATEX waveFormat, BSTR bstrDevice) override;
    HRESULT GetData(BYTE* pBuffer, ULONG* pdwBytes) override;
    HRESULT StartCapture() override;
    HRESULT GetCaptureBufferSize(ULONG* pdwSize) override;
    HRESULT StopCapture() override;
    HRESULT Uninitialize() override;
    HRESULT GetStatus(ULONG* pdwStatus) override;

    HRESULT GetFirstDevice(BSTR* pstrDevice) override;
    HRESULT GetNextDevice(BSTR* pstrDevice) override;
    HRESULT GetUsedDevice(BSTR* pstrDevice) override;
    HRESULT GetDefaultDevice(BSTR* pstrDevice) override;

private:
    HRESULT Note(const std::string& method);
    std::mutex m_lock;
    std::deque<std::vector<BYTE>> m_blocks;
    std::u16string m_device;
    bool m_open = false;
    ULONG m_bufferSize = kBufferSize;
    std::map<std::string, int> m_calls;
    std::map<std::string, HRESULT> m_failures;
    size_t m_next = 0;
    bool m_block = false;
    unsigned m_takeovers = 0;  // Initialize and Uninitialize calls
    std::condition_variable m_changed;
};
