#include "service/audio/PipeServer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "log/Trace.h"
#include "platform/core/LastError.h"
#include "platform/core/SystemMessage.h"
#include "platform/core/Text.h"
#include "service/audio/KWave.h"

namespace {

using plat::drv::CONSUMED_AUDIO_POS;
using plat::drv::READ_OFFSET_POS;
using plat::drv::WRITE_OFFSET_POS;

// The open device's connection, for the crash handler. Whoever takes it out
// first closes it: the crash handler (by descriptor, as the device object may
// be freed meanwhile) or Close (through the device object).
std::atomic<int> g_deviceFd{-1};

constexpr OWAVEFORMATEX kEngineFormat{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
// The largest frame of a format the link converts (two channels of 16 bits).
constexpr DWORD kMaxFrameBytes = 4;

}  // namespace

KPipeServer::KPipeServer(IQXListener* listener) : m_pQXListener(listener) {}

KPipeServer::~KPipeServer() { Close(); }

HRESULT KPipeServer::StartStop() { return m_bStarted ? Stop() : Start(); }

HRESULT KPipeServer::Start() {
    m_hStopEvent = std::make_unique<plat::Event>(plat::Event::Reset::Auto, false);
    std::memset(&m_wfSource, 0, sizeof(m_wfSource));
    if (!m_hStopEvent->IsValid()) {
        DWORD error = plat::GetLastError();
        TQ_TRACE_BOOL("m_hStopEvent != NULL");
        TQ_REPORT(EC_INTERNAL, error, u"Cannot create event");
        m_hStopEvent.reset();
        return plat::HResultFromError(error);
    }

    m_hDevice = plat::drv::Device::Open(plat::drv::kDevicePath);
    if (!m_hDevice) {
        DWORD error = plat::GetLastError();
        TQ_TRACE_BOOL("m_hDevice != NULL");
        TQ_REPORT(EC_INTERNAL, error, u"Cannot open driver");
        m_hStopEvent.reset();
        return plat::HResultFromError(error);
    }
    g_deviceFd.store(m_hDevice->NativeHandle());

    // The section comes with the answer; only one sealed against resizing
    // is mapped, so the driver can never make the view fault.
    int sectionFd = -1;
    if (!m_hDevice->IoControl(plat::drv::IOCTL_LINK_OPEN, &sectionFd)) {
        DWORD error = plat::GetLastError();
        std::u16string text;
        plat::FormatSystemMessage(plat::HResultFromError(error), &text);
        void* handle = reinterpret_cast<void*>(static_cast<intptr_t>(m_hDevice->NativeHandle()));
        KErrorLog::Instance().WriteLine(0, plat::WFormat(u"DeviceIoControl - %s (HANDLE - 0x%p  )\n", text.c_str(), handle),
                                        __FILE__, __LINE__);
        Close();
        return E_FAIL;
    }

    if (!m_section.Attach(sectionFd, SECTION_SIZE_BYTE, plat::drv::FILE_MAP_READ | plat::drv::FILE_MAP_WRITE)) {
        DWORD error = plat::GetLastError();
        TQ_TRACE_BOOL("m_section.Attach()");
        const char16_t* why = sectionFd < 0                      ? u"The driver passed no section"
                              : error == ERROR_ACCESS_DENIED       ? u"The driver's section was refused: it is not sealed against resizing"
                              : error == ERROR_INVALID_PARAMETER   ? u"The driver's section was refused: it is shorter than 0x21000 bytes"
                                                                   : u"The driver's section cannot be mapped";
        TQ_REPORT(EC_INTERNAL, error, why);
        Close();
        return E_FAIL;
    }
    m_pView = m_section.View();
    m_bInterrupted = false;
    m_bBadHeaderReported = false;

    m_hReaderThread = std::make_unique<plat::Thread>();
    if (!m_hReaderThread->Start([this] { return ReaderThread(); }, "tq-driver-link")) {
        DWORD error = plat::GetLastError();
        TQ_TRACE_BOOL("m_hReaderThread->Start()");
        TQ_REPORT(EC_INTERNAL, error, u"Cannot start the driver link");
        Close();
        return plat::HResultFromError(error);
    }
    m_bStarted = true;
    return S_OK;
}

HRESULT KPipeServer::Stop() {
    Close();
    return S_OK;
}

void KPipeServer::JoinReader() {
    if (!m_hReaderThread || !m_hReaderThread->IsStarted()) return;
    if (m_hStopEvent) m_hStopEvent->Set();
    if (m_hReaderThread->Join(kStopGraceMs)) return;
    // The reader is held inside the listener (a full cache ring, a stalled
    // output): interrupting the listener is its way out.
    TQ_REPORT(EC_INTERNAL, 0, u"Driver link reader is held by the listener; interrupting it");
    Interrupt();
    while (!m_hReaderThread->Join(4 * kStopGraceMs))
        TQ_REPORT(EC_INTERNAL, 0, u"Driver link reader has not ended yet");
}

void KPipeServer::Close() {
    JoinReader();
    m_section.Close();
    m_pView = nullptr;
    if (m_hDevice) {
        int mine = m_hDevice->NativeHandle();
        if (mine >= 0 && !g_deviceFd.compare_exchange_strong(mine, -1) && mine == -1) {
            // The crash handler has taken the connection and closes it.
            m_hDevice->Release();
        } else if (m_hDevice->IsOpen() && !m_hDevice->IoControl(plat::drv::IOCTL_LINK_CLOSE)) {
            TQ_TRACE_BOOL("DeviceIoControl(IOCTL_LINK_CLOSE)");
        }
        m_hDevice.reset();
    }
    m_hReaderThread.reset();
    m_hStopEvent.reset();
    m_bStarted = false;
}

bool KPipeServer::CloseDeviceFromAnyThread() {
    const int fd = g_deviceFd.exchange(-1);
    if (fd < 0) return false;
    plat::drv::Device::CloseWithControl(fd, plat::drv::IOCTL_LINK_CLOSE);
    return true;
}

void KPipeServer::Interrupt() {
    if (m_pQXListener && !m_bInterrupted.exchange(true)) m_pQXListener->OnInterrupt();
}

DWORD KPipeServer::Available() const {
    if (m_dwWriteOffset >= m_dwReadOffset) return m_dwWriteOffset - m_dwReadOffset;
    if (m_dwReadOffset < m_dwRingSize) return m_dwRingSize - m_dwReadOffset;
    return 0;
}

bool KPipeServer::IsTagPrefix(const BYTE* bytes, DWORD count) const {
    BYTE tags[2][4];
    plat::drv::WriteLe32(tags[0], plat::drv::TAG_WFMT);
    plat::drv::WriteLe32(tags[1], plat::drv::TAG_WAVE);
    return std::memcmp(bytes, tags[0], count) == 0 || std::memcmp(bytes, tags[1], count) == 0;
}

bool KPipeServer::NextRecord(SRecordHeader* header) {
    const DWORD ringSize = m_dwRingSize;
    const DWORD read = m_dwReadOffset;
    const DWORD write = m_dwWriteOffset;
    // The published bytes in order: from the read offset on, then, when the
    // driver has wrapped, from the ring start up to the write offset.
    const DWORD total = write >= read ? write - read : (ringSize - std::min(read, ringSize)) + write;
    auto at = [&](DWORD i) {
        DWORD p = read + i;
        return p >= ringSize ? p - ringSize : p;
    };
    for (DWORD i = 0; i < total; ++i) {
        const DWORD p = at(i);
        if (p + plat::drv::TAG_BYTE > ringSize) continue;  // a tag never crosses the ring end
        const DWORD left = total - i;
        if (left < plat::drv::TAG_BYTE) {
            // The start of a tag whose rest is not written yet: wait for it.
            if (IsTagPrefix(m_pView + p, left)) {
                m_dwReadOffset = p;
                return false;
            }
            continue;
        }
        const DWORD tag = plat::drv::ReadLe32(m_pView + p);
        if (tag != plat::drv::TAG_WFMT && tag != plat::drv::TAG_WAVE) continue;
        if (left < plat::drv::RECORD_HEADER_BYTE) {
            // The length word is not written yet: wait for it.
            m_dwReadOffset = p;
            return false;
        }
        BYTE bytes[plat::drv::RECORD_HEADER_BYTE];
        for (DWORD k = 0; k < plat::drv::RECORD_HEADER_BYTE; ++k) bytes[k] = m_pView[at(i + k)];
        const DWORD length = plat::drv::ReadLe32(bytes + 4);
        if (length > ASSEMBLY_SIZE_BYTE) {
            // Not a record this link can hold: the tag is taken for garbage and
            // the scan goes on right after it.
            if (!m_bBadHeaderReported) {
                TQ_TRACE_BOOL("length <= ASSEMBLY_SIZE_BYTE");
                TQ_REPORT(EC_INTERNAL, 0, plat::WFormat(u"Driver record too long (%u bytes) was skipped", length));
                m_bBadHeaderReported = true;
            }
            continue;
        }
        m_bBadHeaderReported = false;
        header->dwTag = tag;
        header->dwLength = length;
        DWORD next = p + plat::drv::RECORD_HEADER_BYTE;
        m_dwReadOffset = next > ringSize ? next - ringSize : next;
        return true;
    }
    m_dwReadOffset = write;  // nothing usable: the bytes are skipped
    return false;
}

void KPipeServer::StoreOffsets(DWORD loadedWrite) {
    if (loadedWrite >= m_dwRingSize && m_dwReadOffset != 0) {
        // The driver stopped at the ring end and the reader has gone on from
        // the start: the end is the start. Only the value read is replaced,
        // never a newer one the driver has written since.
        plat::drv::CompareExchangeWord(m_pView, WRITE_OFFSET_POS, loadedWrite, 0);
        m_dwWriteOffset = 0;
    }
    if (m_dwReadOffset >= m_dwRingSize) m_dwReadOffset = 0;
    plat::drv::StoreWord(m_pView, READ_OFFSET_POS, m_dwReadOffset);
}

bool KPipeServer::Idle(DWORD* readSinceIdle, int* quickSleepsLeft) {
    m_nPauses.fetch_add(1);
    if (*readSinceIdle >= kBurstBytes) *quickSleepsLeft = kQuickSleeps;
    *readSinceIdle = 0;
    DWORD pause = kIdleSleepMs;
    if (*quickSleepsLeft > 0) {
        --*quickSleepsLeft;
        pause = kQuickSleepMs;
    }
    return m_hStopEvent->Wait(pause) != plat::WAIT_OBJECT_0;
}

HRESULT KPipeServer::ReaderThread() {
    KWave wave;
    // A record's payload is assembled behind room for the part of a frame
    // that the record before it left over (carried), so that the two join
    // up without a copy and only whole frames are ever delivered.
    std::vector<BYTE> assembly(kMaxFrameBytes + ASSEMBLY_SIZE_BYTE, 0);
    BYTE* const payload = assembly.data() + kMaxFrameBytes;
    DWORD carried = 0;
    DWORD remaining = 0;
    bool isFormat = false;
    DWORD assembled = 0;
    bool offsetsReported = false;
    bool refusalReported = false;
    int quickSleepsLeft = 0;
    DWORD readSinceIdle = 0;

    while (m_hStopEvent->Wait(0) == plat::WAIT_TIMEOUT) {
        m_dwReadOffset = plat::drv::LoadWord(m_pView, READ_OFFSET_POS);
        m_dwWriteOffset = plat::drv::LoadWord(m_pView, WRITE_OFFSET_POS);
        const DWORD loadedWrite = m_dwWriteOffset;
        bool complete = false;
        if (m_dwReadOffset > m_dwRingSize || m_dwWriteOffset > m_dwRingSize) {
            if (!offsetsReported) {
                TQ_TRACE_BOOL("offsets <= RING_SIZE_BYTE");
                TQ_REPORT(EC_INTERNAL, 0,
                          plat::WFormat(u"Driver ring offsets out of range (read %u, write %u)", m_dwReadOffset,
                                        m_dwWriteOffset));
                offsetsReported = true;
            }
            if (m_dwWriteOffset > m_dwRingSize) {
                quickSleepsLeft = 0;
                readSinceIdle = 0;
                if (!Idle(&readSinceIdle, &quickSleepsLeft)) break;
                continue;
            }
            // Our own word was overwritten: go on from where the driver is.
            m_dwReadOffset = m_dwWriteOffset;
            remaining = 0;
            carried = 0;  // what follows does not continue it
        }
        if (m_dwReadOffset == m_dwRingSize) m_dwReadOffset = 0;

        if (Available() == 0) {
            if (!Idle(&readSinceIdle, &quickSleepsLeft)) break;
            continue;
        }
        const DWORD readBefore = m_dwReadOffset;

        if (remaining == 0) {
            SRecordHeader header{};
            if (NextRecord(&header)) {
                remaining = header.dwLength;
                isFormat = header.dwTag == plat::drv::TAG_WFMT;
            }
            assembled = 0;
        }

        const DWORD available = Available();
        if (remaining > 0 && available > 0) {
            const DWORD n = std::min(remaining, available);
            std::memcpy(payload + assembled, m_pView + m_dwReadOffset, n);
            m_dwReadOffset += n;
            assembled += n;
            remaining -= n;
            if (remaining == 0) {
                if (!isFormat) {
                    complete = true;
                } else if (assembled >= sizeof(OWAVEFORMATEX)) {
                    OWAVEFORMATEX format{};
                    std::memcpy(&format, payload, sizeof(OWAVEFORMATEX));
                    // Part of a frame never joins audio of another format.
                    if (std::memcmp(&format, &m_wfSource, sizeof(format)) != 0) carried = 0;
                    m_wfSource = format;
                    refusalReported = false;
                } else {
                    // A format that cannot be read: what follows cannot be
                    // taken for audio in the old format either.
                    TQ_TRACE_BOOL("length >= sizeof(WAVEFORMATEX)");
                    TQ_REPORT(EC_INTERNAL, 0, plat::WFormat(u"Driver format record too short (%u bytes)", assembled));
                    std::memset(&m_wfSource, 0, sizeof(m_wfSource));
                    carried = 0;
                    refusalReported = false;
                }
            }
        }

        StoreOffsets(loadedWrite);

        if (complete) {
            // Whole frames go on; a part of a frame at the end waits, in
            // front of the next payload, for the rest of its frame.
            const BYTE* block = payload - carried;
            DWORD blockBytes = carried + assembled;
            DWORD leftOver = 0;
            if (KWave::IsValidPcm(&m_wfSource)) leftOver = blockBytes % m_wfSource.nBlockAlign;
            blockBytes -= leftOver;
            BYTE* out = nullptr;
            DWORD outBytes = 0;
            const bool accepted = wave.SetSource(&m_wfSource, block, blockBytes) &&
                                  wave.Convert(&kEngineFormat, &out, &outBytes);
            if (!m_pQXListener) {
                TQ_TRACE_BOOL("m_pQXListener != NULL");
                TQ_REPORT(EC_INTERNAL, 0, u"No audio controller (NULL)");
                return plat::HResultFromLastError();
            }
            if (accepted && out) {
                if (outBytes > 0) m_pQXListener->OnAudioData(outBytes, out);
            } else if (!refusalReported) {
                TQ_TRACE_BOOL("KWave::Convert()");
                TQ_REPORT(EC_INTERNAL, 0, u"Driver audio in an unusable format was not delivered");
                refusalReported = true;
            }
            const DWORD counter = plat::drv::LoadWord(m_pView, CONSUMED_AUDIO_POS);
            plat::drv::StoreWord(m_pView, CONSUMED_AUDIO_POS, (counter + assembled) % m_dwRingSize);
            std::memmove(payload - leftOver, block + blockBytes, leftOver);
            carried = leftOver;
            assembled = 0;
        } else if (m_dwReadOffset == readBefore) {
            // Nothing could be used (a record still being written): wait.
            if (!Idle(&readSinceIdle, &quickSleepsLeft)) break;
            continue;
        }
        readSinceIdle += (m_dwReadOffset + m_dwRingSize - readBefore) % m_dwRingSize;
    }

    Interrupt();
    return S_OK;
}
