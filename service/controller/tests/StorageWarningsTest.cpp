// When the cache and disk checks warn, and the minutes they count.
#include <gtest/gtest.h>

#include "ipc/QXServiceLib.h"
#include "service/controller/KAudioController.h"
#include "service/controller/KStorageWarnings.h"

TEST(StorageWarnings, CacheWarningFiresOnEntryAndOnEachNewValueOnly) {
    KStorageWarnings w;
    EXPECT_TRUE(w.CheckCache(5));   // 4 min 30 s left
    EXPECT_TRUE(w.CheckCache(4));   // 3 min 30 s
    EXPECT_FALSE(w.CheckCache(4));  // 3 min 10 s: still 4
    EXPECT_FALSE(w.CheckCache(6));  // left the range
    EXPECT_FALSE(w.CheckCache(0));  // nothing left is no warning either
    EXPECT_TRUE(w.CheckCache(4));   // back in range: fires again with the same value
}

TEST(StorageWarnings, CacheWarningFiresAgainAfterLeavingTheRange) {
    KStorageWarnings w;
    EXPECT_TRUE(w.CheckCache(2));
    EXPECT_FALSE(w.CheckCache(7));
    EXPECT_TRUE(w.CheckCache(2));
}

TEST(StorageWarnings, DiskWarningIsNotRepeatedWhileStoppedButReArmsWhenRecordingStops) {
    KStorageWarnings w;
    const DWORD stopped = _esLive | _esPlay | _esStop;
    const DWORD recording = _esLive | _esPlay | _esRec;
    bool wasActive = true;
    EXPECT_TRUE(w.CheckDisk(3, &wasActive));
    EXPECT_FALSE(wasActive);
    w.NoteState(stopped);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(w.CheckDisk(3));
        w.NoteState(stopped);
    }
    EXPECT_FALSE(w.CheckDisk(3));
    w.NoteState(recording);
    EXPECT_TRUE(w.CheckDisk(2, &wasActive));
    EXPECT_TRUE(wasActive);
    w.NoteState(stopped);  // recording ended: the next recording hears it again
    EXPECT_TRUE(w.CheckDisk(2));
}

TEST(StorageWarnings, DiskFullFiresOncePerShortage) {
    KStorageWarnings w;
    EXPECT_TRUE(w.CheckDiskFull(true));
    EXPECT_FALSE(w.CheckDiskFull(true));
    EXPECT_FALSE(w.CheckDiskFull(false));
    EXPECT_TRUE(w.CheckDiskFull(true));
}

// 768 GiB free and more are hours of recording, never "a few minutes left".
TEST(StorageWarnings, MinutesOfLargeByteCountsDoNotWrap) {
    struct Case {
        LONGLONG bytes;
        int minutes;
    } cases[] = {
        {0, 0},
        {-5, 0},
        {1LL << 32, 373},
        {(768LL << 30) + 28800000LL, 71586},
        {1LL << 40, 95444},
        {1LL << 50, 97734367},
        {INT64_MAX, INT32_MAX},
    };
    for (const Case& c : cases) EXPECT_EQ(KAudioController::BytesToMinutes(c.bytes), c.minutes) << c.bytes;
    KStorageWarnings w;
    bool wasActive = false;
    EXPECT_FALSE(w.CheckDisk(static_cast<UINT>(KAudioController::BytesToMinutes((768LL << 30) + 28800000LL)), &wasActive));
}
