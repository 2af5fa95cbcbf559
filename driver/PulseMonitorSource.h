#pragma once
// Records what the players play into the output "Tonquil Audio Device": the
// monitor of that output on the sound server, in the engine's format.
//
// The recording never follows the server to another device: when the output
// goes away it records nothing (a monitor moved to the speakers' would feed
// the played sound back into itself) and says so, and it goes on once the
// output is back. When the server itself goes away (a restart), it connects
// again as soon as the server answers and puts the output back the way the
// installer made it.
#include <chrono>
#include <memory>

#include "driver/AudioSource.h"
#include "driver/PulseAdmin.h"

struct pa_stream;

class PulseMonitorSource : public AudioSource {
public:
    static constexpr const char* kDeviceName = "Tonquil Audio";
    static constexpr DWORD kChunkBytes = 1920;  // 10 ms, the link's records
    // While the server does not answer, how often it is asked again.
    static constexpr DWORD kReconnectMs = 250;

    PulseMonitorSource();
    ~PulseMonitorSource() override;
    bool Open(std::string* error) override;
    const OWAVEFORMATEX& Format() const override { return m_format; }
    ReadResult Read(std::vector<BYTE>* chunk, plat::Event& stop, std::string* error) override;
    void Close() override;

private:
    bool Connect(std::string* error);
    bool StartRecording(const PulseAdmin::Sink& sink, std::string* error);
    void StopRecording();
    bool Drain();
    // Whether the recording runs and the server answers.
    bool Recording() const;
    // Waits until the output can be recorded again; false when stopped first.
    bool Recover(plat::Event& stop);
    void NoteDefault();

    OWAVEFORMATEX m_format;
    std::unique_ptr<PulseAdmin> m_server;
    pa_stream* m_stream = nullptr;
    std::vector<BYTE> m_pending;
    // Whether the output was the server's default when last seen, so that a
    // restarted server gets it back as its default only then.
    bool m_wasDefault = false;
    uint64_t m_serverChangesSeen = 0;
};
