#pragma once
// The link to the virtual audio driver. The driver writes the played sound as
// tagged records into the ring of a shared section; one reader thread takes
// the records out, converts the audio to the engine format and hands it to
// the controller's listener, and tells the listener once when the link stops.
#include <atomic>
#include <memory>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComPtr.h"
#include "platform/core/Sync.h"
#include "platform/core/Thread.h"
#include "platform/driver/CMemoryMappedFile.h"
#include "platform/driver/Device.h"
#include "platform/driver/DriverProtocol.h"
#include "service/audio/IQXListener.h"

struct SRecordHeader {
    DWORD dwTag;
    DWORD dwLength;  // payload bytes
};

class KPipeServer {
public:
    static constexpr DWORD RING_SIZE_BYTE = plat::drv::RING_SIZE_BYTE;
    static constexpr DWORD SECTION_SIZE_BYTE = plat::drv::SECTION_SIZE_BYTE;
    static constexpr DWORD ASSEMBLY_SIZE_BYTE = plat::drv::MAX_PAYLOAD_BYTE;
    // The reader's pause when the ring holds nothing it can use. After a
    // burst of data (a driver writing faster than real time) a few short
    // pauses come first, so that the long one does not hold the driver up.
    static constexpr DWORD kIdleSleepMs = 30;
    static constexpr DWORD kQuickSleepMs = 1;
    static constexpr int kQuickSleeps = 5;
    static constexpr DWORD kBurstBytes = 0x8000;
    // How long a stop waits for the reader before it interrupts the listener
    // the reader is held in.
    static constexpr DWORD kStopGraceMs = 500;

    // Keeps a reference to the listener for the object's whole life.
    explicit KPipeServer(IQXListener* listener);
    ~KPipeServer();
    KPipeServer(const KPipeServer&) = delete;
    KPipeServer& operator=(const KPipeServer&) = delete;

    // Starts the link when it is stopped, stops it when it runs.
    HRESULT StartStop();
    // Ends the reader (if any) and releases the section, the device and the
    // handles; the link is stopped afterwards.
    void Close();
    bool IsStarted() const { return m_bStarted; }
    // How many times the reader has paused for want of usable data. A caller
    // that has published something learns from two more pauses that the
    // reader has looked at it.
    unsigned Pauses() const { return m_nPauses.load(); }

    // Bytes that can be read from the read offset without crossing the ring end.
    DWORD Available() const;
    // Finds the next record header between the read and the write offset and
    // moves the read offset past it. False when there is none yet.
    bool NextRecord(SRecordHeader* header);
    // The reader thread's body.
    HRESULT ReaderThread();

    // For the crash handler: tells the driver the link is closed and closes
    // the device. Safe from any thread and from a signal handler. True when
    // a device was open.
    static bool CloseDeviceFromAnyThread();

private:
    HRESULT Start();
    HRESULT Stop();
    void JoinReader();
    // The one OnInterrupt of a run, from whichever thread gets here first.
    void Interrupt();
    void StoreOffsets(DWORD loadedWrite);
    // Pauses the reader; false when the stop event ends the pause.
    bool Idle(DWORD* readSinceIdle, int* quickSleepsLeft);
    bool IsTagPrefix(const BYTE* bytes, DWORD count) const;

    std::unique_ptr<plat::Event> m_hStopEvent;
    std::unique_ptr<plat::Thread> m_hReaderThread;
    bool m_bStarted = false;
    OWAVEFORMATEX m_wfSource{};
    DWORD m_dwReadOffset = 0;
    DWORD m_dwWriteOffset = 0;
    DWORD m_dwRingSize = RING_SIZE_BYTE;
    CMemoryMappedFile m_section;
    BYTE* m_pView = nullptr;
    std::unique_ptr<plat::drv::Device> m_hDevice;
    plat::ComPtr<IQXListener> m_pQXListener;
    std::atomic<bool> m_bInterrupted{false};
    std::atomic<unsigned> m_nPauses{0};
    bool m_bBadHeaderReported = false;
};
