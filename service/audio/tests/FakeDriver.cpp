#include "service/audio/tests/FakeDriver.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/driver/SharedSection.h"

using namespace std::chrono_literals;

FakeDriver::FakeDriver() {
    if (m_server.Create(plat::drv::kDevicePath))
        m_serving.Start([this] { return m_server.Serve(*this, m_stop) ? S_OK : E_FAIL; }, "fake-driver");
}

FakeDriver::~FakeDriver() {
    m_stop.Set();
    m_serving.Join();
    m_server.Close();
    if (m_view) plat::drv::SharedSection::Unmap(m_view, plat::drv::SECTION_SIZE_BYTE);
}

void FakeDriver::SetSection(Section kind) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_sectionKind = kind;
}

bool FakeDriver::TryResize(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_section && ::ftruncate(m_section->NativeHandle(), static_cast<off_t>(bytes)) == 0;
}

int FakeDriver::DescriptorFor(DWORD code) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (code != plat::drv::IOCTL_LINK_OPEN || !m_section || m_sectionKind == Section::None) return -1;
    return m_section->NativeHandle();
}

void FakeDriver::SetOpenAnswer(DWORD error) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_openAnswer = error;
}

void FakeDriver::SetStartOffset(DWORD offset) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_startOffset = offset;
}

bool FakeDriver::WaitLinkOpen(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_linkOpens > 0; });
}

bool FakeDriver::WaitClosed(int closes, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_closes >= closes; });
}

void FakeDriver::OnOpen() {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_opens;
    m_changed.notify_all();
}

void FakeDriver::OnClose() {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_closes;
    m_changed.notify_all();
}

DWORD FakeDriver::OnControl(DWORD code) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_codes.push_back(code);
    m_changed.notify_all();
    if (code == plat::drv::IOCTL_LINK_CLOSE) return 0;  // the view stays for a test that still looks at it
    if (code != plat::drv::IOCTL_LINK_OPEN) return ERROR_INVALID_FUNCTION;
    if (m_openAnswer != 0) return m_openAnswer;
    if (m_view) plat::drv::SharedSection::Unmap(m_view, plat::drv::SECTION_SIZE_BYTE);
    m_view = nullptr;
    m_section.reset();
    if (m_sectionKind == Section::Unsealed) {
        int fd = ::memfd_create("QXSection", MFD_CLOEXEC);
        if (fd >= 0 && ::ftruncate(fd, plat::drv::SECTION_SIZE_BYTE) == 0)
            m_section = std::make_unique<plat::drv::SharedSection>(fd, plat::drv::SECTION_SIZE_BYTE, true);
        else if (fd >= 0)
            ::close(fd);
    } else {
        const DWORD bytes = m_sectionKind == Section::Short ? plat::drv::RING_SIZE_BYTE : plat::drv::SECTION_SIZE_BYTE;
        m_section = plat::drv::SharedSection::CreateSealed(plat::drv::kSectionName, bytes);
    }
    if (!m_section) return ERROR_GEN_FAILURE;
    const DWORD mapped = static_cast<DWORD>(std::min<uint64_t>(m_section->Size(), plat::drv::SECTION_SIZE_BYTE));
    if (mapped < plat::drv::SECTION_SIZE_BYTE) {
        // Too short for the layout: handed over, but never written.
        ++m_linkOpens;
        m_changed.notify_all();
        return 0;
    }
    m_view = static_cast<BYTE*>(m_section->Map(0, plat::drv::SECTION_SIZE_BYTE, true));
    if (!m_view) return ERROR_GEN_FAILURE;
    std::memset(m_view, 0xEE, R);  // stale bytes must never be taken for records
    m_cursor = m_startOffset;
    plat::drv::StoreWord(m_view, plat::drv::READ_OFFSET_POS, m_startOffset);
    plat::drv::StoreWord(m_view, plat::drv::WRITE_OFFSET_POS, m_startOffset);
    plat::drv::StoreWord(m_view, plat::drv::CONSUMED_AUDIO_POS, 0);
    ++m_linkOpens;
    m_changed.notify_all();
    return 0;
}

void FakeDriver::Put(const void* data, size_t bytes) {
    const BYTE* p = static_cast<const BYTE*>(data);
    for (size_t i = 0; i < bytes; ++i) {
        if (m_cursor >= R) m_cursor = 0;
        m_view[m_cursor++] = p[i];
    }
}

void FakeDriver::PutHeader(DWORD tag, DWORD length) {
    BYTE header[8];
    plat::drv::WriteLe32(header, tag);
    plat::drv::WriteLe32(header + 4, length);
    Put(header, sizeof(header));
}

void FakeDriver::PutRecord(DWORD tag, const std::vector<BYTE>& payload) {
    PutHeader(tag, static_cast<DWORD>(payload.size()));
    Put(payload.data(), payload.size());
}

void FakeDriver::PutFormat(const OWAVEFORMATEX& format) {
    PutHeader(plat::drv::TAG_WFMT, sizeof(format));
    Put(&format, sizeof(format));
}

void FakeDriver::Publish() { PublishValue(m_cursor >= R ? 0 : m_cursor); }

void FakeDriver::PublishValue(DWORD writeOffset) { plat::drv::StoreWord(m_view, plat::drv::WRITE_OFFSET_POS, writeOffset); }

bool FakeDriver::TryWrite(DWORD tag, const BYTE* payload, DWORD bytes) {
    const DWORD need = plat::drv::RECORD_HEADER_BYTE + bytes + plat::drv::TAG_BYTE;  // room for padding too
    DWORD read = plat::drv::LoadWord(m_view, plat::drv::READ_OFFSET_POS) % R;
    DWORD used = (m_cursor % R + R - read) % R;
    if (R - 1 - used < need) return false;
    if (m_cursor >= R) m_cursor = 0;
    if (R - m_cursor < plat::drv::TAG_BYTE) {
        // A tag never crosses the ring end: fill up to it.
        static const BYTE kPad[4] = {};
        Put(kPad, R - m_cursor);
    }
    PutHeader(tag, bytes);
    Put(payload, bytes);
    Publish();
    return true;
}

bool FakeDriver::WriteWhenRoom(DWORD tag, const BYTE* payload, DWORD bytes, DWORD timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!TryWrite(tag, payload, bytes)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

bool FakeDriver::WaitConsumed(DWORD timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (plat::drv::LoadWord(m_view, plat::drv::READ_OFFSET_POS) % R != m_cursor % R) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

DWORD FakeDriver::Word(DWORD position) const { return plat::drv::LoadWord(m_view, position); }

bool FakeDriver::WaitWord(DWORD position, DWORD value, DWORD timeoutMs) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Word(position) != value) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

std::vector<DWORD> FakeDriver::Codes() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_codes;
}

int FakeDriver::Opens() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_opens;
}
