#pragma once
// Feeds the section's ring while a link is open: the source's format first,
// then its sound record by record. When the service falls behind and the
// ring has no room, sound is dropped (never written over unread bytes).
#include <atomic>
#include <memory>

#include "driver/AudioSource.h"
#include "driver/RingWriter.h"
#include "platform/core/Sync.h"
#include "platform/core/Thread.h"

class LinkWriter {
public:
    // Starts an empty ring in the section.
    LinkWriter(BYTE* section, std::unique_ptr<AudioSource> source);
    // Stops and joins the writing thread.
    ~LinkWriter();
    LinkWriter(const LinkWriter&) = delete;
    LinkWriter& operator=(const LinkWriter&) = delete;

    bool Start();
    void Stop();
    uint64_t DroppedRecords() const { return m_dropped.load(); }

private:
    HRESULT Run();

    RingWriter m_ring;
    std::unique_ptr<AudioSource> m_source;
    plat::Event m_stop{plat::Event::Reset::Manual};
    plat::Thread m_thread;
    std::atomic<uint64_t> m_dropped{0};
};
