#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <thread>

#include "driver/AudioDriverDevice.h"
#include "driver/ToneSource.h"
#include "driver/tests/RecordReader.h"
#include "platform/driver/DriverProtocol.h"
#include "platform/driver/SharedSection.h"
#include "platform/driver/tests/TempRuntimeDir.h"

namespace {

using namespace plat::drv;

TEST(AudioDriverDevice, LinkOpenFeedsTheSectionUntilLinkClose) {
    TempRuntimeDir dir;
    AudioDriverDevice device([] { return std::make_unique<ToneSource>(); });
    ASSERT_EQ(ERROR_SUCCESS, device.OnControl(IOCTL_LINK_OPEN));
    // The section handed over with the answer is one a reader may map.
    const int passed = device.DescriptorFor(IOCTL_LINK_OPEN);
    ASSERT_GE(passed, 0);
    auto section = SharedSection::AdoptSealed(::dup(passed), SECTION_SIZE_BYTE, true);
    ASSERT_NE(nullptr, section);
    auto* view = static_cast<BYTE*>(section->Map(0, SECTION_SIZE_BYTE, true));
    ASSERT_NE(nullptr, view);

    // The format first, then 10 ms records of the tone.
    std::vector<RingRecord> records;
    DWORD read = 0;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         records.size() < 4 && std::chrono::steady_clock::now() < end;) {
        auto more = ReadRecords(view, &read);
        records.insert(records.end(), more.begin(), more.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(records.size(), 4u);
    EXPECT_EQ(TAG_WFMT, records[0].tag);
    ASSERT_EQ(sizeof(OWAVEFORMATEX), records[0].payload.size());
    OWAVEFORMATEX format{};
    std::memcpy(&format, records[0].payload.data(), sizeof(format));
    EXPECT_EQ(48000u, format.nSamplesPerSec);
    EXPECT_EQ(2, format.nChannels);
    for (size_t i = 1; i < records.size(); ++i) {
        EXPECT_EQ(TAG_WAVE, records[i].tag);
        EXPECT_EQ(1920u, records[i].payload.size());
    }
    // At 1000 Hz the first 10 ms start at 0 and peak at the quarter period.
    auto sample = [&](size_t frame) {
        const auto& p = records[1].payload;
        return static_cast<int16_t>(p[frame * 4] | (p[frame * 4 + 1] << 8));
    };
    EXPECT_EQ(0, sample(0));
    EXPECT_EQ(ToneSource::kPeak, sample(12));

    EXPECT_EQ(ERROR_SUCCESS, device.OnControl(IOCTL_LINK_CLOSE));
    SharedSection::Unmap(view, SECTION_SIZE_BYTE);
    EXPECT_EQ(-1, device.DescriptorFor(IOCTL_LINK_OPEN));  // the driver let it go
    EXPECT_EQ(ERROR_INVALID_FUNCTION, device.OnControl(0x222010));
}

TEST(AudioDriverDevice, AClientThatGoesAwayEndsTheLink) {
    TempRuntimeDir dir;
    AudioDriverDevice device([] { return std::make_unique<ToneSource>(); });
    ASSERT_EQ(ERROR_SUCCESS, device.OnControl(IOCTL_LINK_OPEN));
    ASSERT_EQ(ERROR_SUCCESS, device.OnControl(IOCTL_LINK_OPEN));  // opening again restarts it
    device.OnClose();
    EXPECT_EQ(-1, device.DescriptorFor(IOCTL_LINK_OPEN));
}

}  // namespace
