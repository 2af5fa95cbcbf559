#pragma once
// The device's behaviour: IOCTL_LINK_OPEN creates a new sealed section,
// hands it to the client with the answer and starts feeding it;
// IOCTL_LINK_CLOSE, a client that goes away, or the end of the program stops
// feeding and lets the section go.
#include <functional>
#include <memory>

#include "driver/AudioSource.h"
#include "driver/LinkWriter.h"
#include "platform/driver/DeviceServer.h"
#include "platform/driver/SharedSection.h"

class AudioDriverDevice : public plat::drv::DeviceServer::Handler {
public:
    using SourceFactory = std::function<std::unique_ptr<AudioSource>()>;

    explicit AudioDriverDevice(SourceFactory makeSource);
    ~AudioDriverDevice() override;
    AudioDriverDevice(const AudioDriverDevice&) = delete;
    AudioDriverDevice& operator=(const AudioDriverDevice&) = delete;

    DWORD OnControl(DWORD code) override;
    int DescriptorFor(DWORD code) override;
    void OnClose() override;
    void CloseLink();

private:
    DWORD OpenLink();

    SourceFactory m_makeSource;
    std::unique_ptr<plat::drv::SharedSection> m_section;
    BYTE* m_view = nullptr;
    std::unique_ptr<LinkWriter> m_writer;
};
