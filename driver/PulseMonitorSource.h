#pragma once
// Records what the players play into the output "Tonquil Audio Device": the
// monitor of that output on the sound server, in the engine's format.
#include <memory>

#include "driver/AudioSource.h"
#include "driver/PulseAdmin.h"

struct pa_stream;

class PulseMonitorSource : public AudioSource {
public:
    static constexpr const char* kDeviceName = "Tonquil Audio";
    static constexpr DWORD kChunkBytes = 1920;  // 10 ms

    PulseMonitorSource();
    ~PulseMonitorSource() override;
    bool Open(std::string* error) override;
    const OWAVEFORMATEX& Format() const override { return m_format; }
    ReadResult Read(std::vector<BYTE>* chunk, plat::Event& stop, std::string* error) override;
    void Close() override;

private:
    bool Drain();

    OWAVEFORMATEX m_format;
    std::unique_ptr<PulseAdmin> m_server;
    pa_stream* m_stream = nullptr;
    std::vector<BYTE> m_pending;
};
