#include "driver/AudioDriverDevice.h"

#include "driver/DriverLog.h"
#include "platform/core/LastError.h"
#include "platform/driver/DriverProtocol.h"

AudioDriverDevice::AudioDriverDevice(SourceFactory makeSource) : m_makeSource(std::move(makeSource)) {}

AudioDriverDevice::~AudioDriverDevice() { CloseLink(); }

DWORD AudioDriverDevice::OnControl(DWORD code) {
    switch (code) {
        case plat::drv::IOCTL_LINK_OPEN: return OpenLink();
        case plat::drv::IOCTL_LINK_CLOSE: CloseLink(); return ERROR_SUCCESS;
        default: return ERROR_INVALID_FUNCTION;
    }
}

int AudioDriverDevice::DescriptorFor(DWORD code) {
    return code == plat::drv::IOCTL_LINK_OPEN && m_section ? m_section->NativeHandle() : -1;
}

void AudioDriverDevice::OnClose() { CloseLink(); }

DWORD AudioDriverDevice::OpenLink() {
    CloseLink();  // a second open starts the link again
    m_section = plat::drv::SharedSection::CreateSealed(plat::drv::kSectionName, plat::drv::SECTION_SIZE_BYTE);
    if (m_section) m_view = static_cast<BYTE*>(m_section->Map(0, plat::drv::SECTION_SIZE_BYTE, true));
    if (!m_view) {
        DWORD error = plat::GetLastError();
        DriverLog("cannot create the shared section (error " + std::to_string(error) + ")");
        CloseLink();
        return error ? error : ERROR_GEN_FAILURE;
    }
    m_writer = std::make_unique<LinkWriter>(m_view, m_makeSource());
    if (!m_writer->Start()) {
        DWORD error = plat::GetLastError();
        DriverLog("cannot start feeding the link");
        CloseLink();
        return error ? error : ERROR_GEN_FAILURE;
    }
    return ERROR_SUCCESS;
}

void AudioDriverDevice::CloseLink() {
    m_writer.reset();
    if (m_view) plat::drv::SharedSection::Unmap(m_view, plat::drv::SECTION_SIZE_BYTE);
    m_view = nullptr;
    m_section.reset();
}
