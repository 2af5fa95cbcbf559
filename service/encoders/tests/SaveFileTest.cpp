// The file a save writes: nothing in the folder until it is named, the
// hidden fallback, and the clean-up of what dead saves left.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/core/Text.h"
#include "service/encoders/KSaveFile.h"
#include "service/encoders/tests/EncoderTestSupport.h"

using namespace enctest;

namespace {

TEST(KSaveFile, TheFileHasItsNameOnlyOnceNamedAndNeverReplacesOne) {
    for (bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "hidden" : "unnamed");
        TempFolder dir;
        ASSERT_TRUE(WriteText(dir / u"taken", "keep"));
        {
            KSaveFile file;
            ASSERT_EQ(hidden ? file.CreateHidden(dir.Path()) : file.Create(dir.Path()), S_OK);
            {
                plat::File writer;
                ASSERT_TRUE(writer.Open(file.Path(), plat::FileAccess::Write, plat::FileCreation::OpenExisting));
                ASSERT_TRUE(writer.Write("song", 4, nullptr));
            }
            const std::vector<std::u16string> during = dir.Names();
            if (hidden) {
                ASSERT_EQ(during.size(), 2u);
                EXPECT_TRUE(KSaveFile::IsHiddenName(during[0])) << plat::ToUtf8(during[0]);
            } else {
                EXPECT_EQ(during, std::vector<std::u16string>{u"taken"});
            }
            // A save in progress is no leftover.
            KSaveFile::RemoveLeftovers(dir.Path());
            EXPECT_EQ(dir.Names(), during);
            EXPECT_FALSE(file.Name(dir / u"taken"));
            EXPECT_EQ(plat::GetLastError(), ERROR_FILE_EXISTS);
            ASSERT_TRUE(file.Sync());
            ASSERT_TRUE(file.Name(dir / u"song"));
        }
        EXPECT_EQ(dir.Names(), (std::vector<std::u16string>{u"song", u"taken"}));
        EXPECT_EQ(ReadText(dir / u"song"), "song");
        EXPECT_EQ(ReadText(dir / u"taken"), "keep");
        {
            KSaveFile unfinished;
            ASSERT_EQ(hidden ? unfinished.CreateHidden(dir.Path()) : unfinished.Create(dir.Path()), S_OK);
        }
        EXPECT_EQ(dir.Names(), (std::vector<std::u16string>{u"song", u"taken"})) << "an unnamed end leaves nothing";
    }
}

// The next save into a folder removes the hidden files that no save holds;
// one that a save is writing, and names that are not ours, stay.
TEST(KSaveFile, TheNextSaveRemovesWhatDeadSavesLeft) {
    TempFolder dir;
    const std::u16string dead = u".tonquil-save-0123456789ab.part";
    ASSERT_TRUE(WriteText(dir / dead, "half a song"));
    KSaveFile running;
    ASSERT_EQ(running.CreateHidden(dir.Path()), S_OK);
    const std::vector<std::u16string> others{u".tonquil-save-0123456789AB.part", u".tonquil-save-12.part",
                                             u"tonquil-save-0123456789ab.part", u".tonquil-save-0123456789ab.partial"};
    for (const auto& name : others) ASSERT_TRUE(WriteText(dir / name, "not ours"));

    plat::ComPtr<MemoryCache> cache(MemoryCache::CreateInstance(0, Tone(20, 1000)));
    plat::ComPtr<RecordingEncoder> encoder(RecordingEncoder::Create());
    ASSERT_TRUE(encoder);
    ASSERT_EQ(encoder->SetCachePtr(cache.Get()), S_OK);
    plat::ComPtr<ISong> song(FakeSong::CreateInstance(0, 20, u"T"));
    ASSERT_EQ(encoder->Save(song.Get(), plat::Bstr(dir / u"next")), S_OK);

    const std::vector<std::u16string> names = dir.Names();
    EXPECT_EQ(std::count(names.begin(), names.end(), dead), 0) << "the dead save's file is gone";
    EXPECT_EQ(std::count(names.begin(), names.end(), running.Path().substr(dir.Path().size())), 1)
        << "the running save's file stays";
    for (const auto& name : others) EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << plat::ToUtf8(name);
    EXPECT_EQ(std::count(names.begin(), names.end(), u"next.rec"), 1);
}

}  // namespace
