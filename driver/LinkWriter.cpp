#include "driver/LinkWriter.h"

#include <chrono>
#include <vector>

#include "driver/DriverLog.h"
#include "platform/driver/DriverProtocol.h"

LinkWriter::LinkWriter(BYTE* section, std::unique_ptr<AudioSource> source)
    : m_ring(section), m_source(std::move(source)) {
    m_ring.Reset();
}

LinkWriter::~LinkWriter() { Stop(); }

bool LinkWriter::Start() { return m_thread.Start([this] { return Run(); }, "tq-link-writer"); }

void LinkWriter::Stop() {
    m_stop.Set();
    m_thread.Join();
}

HRESULT LinkWriter::Run() {
    std::string error;
    if (!m_source->Open(&error)) {
        DriverLog("cannot open the sound source: " + error);
        return E_FAIL;
    }
    // The format goes first; when the reader is behind, wait for room.
    const OWAVEFORMATEX format = m_source->Format();
    while (!m_ring.Write(plat::drv::TAG_WFMT, reinterpret_cast<const BYTE*>(&format), sizeof(format))) {
        if (m_stop.Wait(10) == plat::WAIT_OBJECT_0) {
            m_source->Close();
            return S_OK;
        }
    }
    std::vector<BYTE> chunk;
    auto lastReport = std::chrono::steady_clock::now() - std::chrono::seconds(10);
    uint64_t reported = 0;
    for (bool running = true; running;) {
        switch (m_source->Read(&chunk, m_stop, &error)) {
            case AudioSource::ReadResult::Data:
                if (!m_ring.Write(plat::drv::TAG_WAVE, chunk.data(), static_cast<DWORD>(chunk.size()))) {
                    ++m_dropped;
                    auto now = std::chrono::steady_clock::now();
                    if (now - lastReport > std::chrono::seconds(1)) {
                        DriverLog("the service is not reading: " + std::to_string(m_dropped - reported) +
                                  " records of sound dropped");
                        reported = m_dropped;
                        lastReport = now;
                    }
                }
                break;
            case AudioSource::ReadResult::End:
                // Nothing more to play: the link stays open and quiet.
                m_stop.Wait(INFINITE);
                running = false;
                break;
            case AudioSource::ReadResult::Stopped:
                running = false;
                break;
            case AudioSource::ReadResult::Failed:
                DriverLog("the sound source failed: " + error);
                running = false;
                break;
        }
    }
    m_source->Close();
    return S_OK;
}
