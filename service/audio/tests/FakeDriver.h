#pragma once
// An in-process stand-in for the audio driver: serves the device in the
// test's runtime folder, creates the section on IOCTL_LINK_OPEN and hands it
// over with the answer (sealed, or as a misbehaving driver would), and lets a
// test write exact byte sequences into the ring (split headers, split
// payloads, garbage, format changes, oversized lengths) and publish the write
// offset whenever it likes.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/core/Sync.h"
#include "platform/core/Thread.h"
#include "platform/driver/DeviceServer.h"
#include "platform/driver/DriverProtocol.h"
#include "platform/driver/SharedSection.h"

class FakeDriver : public plat::drv::DeviceServer::Handler {
public:
    static constexpr DWORD R = plat::drv::RING_SIZE_BYTE;

    // What the next IOCTL_LINK_OPEN hands over.
    enum class Section {
        Sealed,    // as every driver must: sealed against resizing, 0x21000 bytes
        Unsealed,  // the right size, but its maker could still shrink it
        Short,     // sealed, but shorter than the layout
        None,      // no descriptor at all
    };

    FakeDriver();
    ~FakeDriver() override;
    bool IsServing() const { return m_serving.IsStarted(); }

    // The answer to the next IOCTL_LINK_OPEN (0 accepts it).
    void SetOpenAnswer(DWORD error);
    void SetSection(Section kind);
    // Tries to give the section another size, as a hostile driver would;
    // true when the size changed.
    bool TryResize(uint64_t bytes);
    // Where the ring starts (read = write = offset) at the next link open.
    void SetStartOffset(DWORD offset);
    bool WaitLinkOpen(DWORD timeoutMs = 30000);
    bool WaitClosed(int closes, DWORD timeoutMs = 30000);

    // Writing at the driver's cursor, wrapping at the ring end; nothing is
    // published until Publish.
    void Put(const void* data, size_t bytes);
    void PutHeader(DWORD tag, DWORD length);
    void PutRecord(DWORD tag, const std::vector<BYTE>& payload);
    void PutFormat(const OWAVEFORMATEX& format);
    void Publish();
    void PublishValue(DWORD writeOffset);
    DWORD Cursor() const { return m_cursor; }
    // Writes a record when there is room for it (one byte always stays free)
    // and publishes it. False when the reader made no room in time.
    bool WriteWhenRoom(DWORD tag, const BYTE* payload, DWORD bytes, DWORD timeoutMs = 30000);
    // The same without waiting: false when there is no room now.
    bool TryWrite(DWORD tag, const BYTE* payload, DWORD bytes);

    // Waits until the service's read offset reaches the cursor.
    bool WaitConsumed(DWORD timeoutMs = 30000);
    DWORD Word(DWORD position) const;
    // Waits until a word of the section holds the value; false (the word left
    // as it is) after the time-out.
    bool WaitWord(DWORD position, DWORD value, DWORD timeoutMs = 30000) const;

    std::vector<DWORD> Codes();
    int Opens();

    // DeviceServer::Handler
    void OnOpen() override;
    DWORD OnControl(DWORD code) override;
    int DescriptorFor(DWORD code) override;
    void OnClose() override;

private:
    plat::drv::DeviceServer m_server;
    plat::Event m_stop{plat::Event::Reset::Auto};
    plat::Thread m_serving;

    std::mutex m_lock;
    std::condition_variable m_changed;
    DWORD m_openAnswer = 0;
    Section m_sectionKind = Section::Sealed;
    DWORD m_startOffset = 0;
    int m_opens = 0;
    int m_closes = 0;
    int m_linkOpens = 0;
    std::vector<DWORD> m_codes;
    std::unique_ptr<plat::drv::SharedSection> m_section;
    BYTE* m_view = nullptr;
    DWORD m_cursor = 0;
};
