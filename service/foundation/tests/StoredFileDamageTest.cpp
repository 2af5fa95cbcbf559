// Every data file survives damage to one of its two copies: a damaged main
// file loads from its backup and is reported; with both damaged the load
// fails and neither file is touched until the next successful save.
#include <gtest/gtest.h>

#include <functional>

#include "log/ErrorTextTable.h"
#include "log/KErrorLog.h"
#include "platform/com/Bstr.h"
#include "platform/core/Text.h"
#include "platform/fs/File.h"
#include "service/foundation/KID3.h"
#include "service/foundation/KPlayListImpl.h"
#include "service/foundation/KSettingsImpl.h"
#include "service/foundation/KStgArchive.h"
#include "service/foundation/tests/FileDamage.h"

using namespace testutil;

namespace {

std::vector<LONG> ErrorCodes() {
    std::vector<LONG> codes;
    LONG code;
    while (KErrorLog::Instance().PopError(&code, nullptr)) codes.push_back(code);
    return codes;
}

// One kind of data file: how to store known content, how to load it into a
// fresh object (giving a text of what loaded), and a text to aim damage at.
struct Subject {
    const char* name;
    std::u16string marker;
    size_t skip;
    std::function<std::u16string(const TempDir&)> file;
    std::function<HRESULT(const TempDir&)> save;
    std::function<HRESULT(const TempDir&, std::u16string*)> load;
};

std::u16string SettingsFile(const TempDir& dir) { return dir / u"QXSettings.dat"; }

HRESULT SaveSettings(const TempDir& dir) {
    KSettingsImpl s;
    s.m_strSettingsFileName = SettingsFile(dir);
    s.m_strAudioDevice = u"Kitchen speakers";
    s.m_nCBR = 192;
    return s.Save();
}

HRESULT LoadSettings(const TempDir& dir, std::u16string* content) {
    KSettingsImpl s;
    s.m_strSettingsFileName = SettingsFile(dir);
    HRESULT hr = s.Load();
    *content = s.m_strAudioDevice + plat::WFormat(u"/%u", s.m_nCBR);
    return hr;
}

const std::vector<std::u16string> kTitles = {u"Morning song", u"Evening song"};

HRESULT SavePlayList(const TempDir& dir) {
    KPlayListImpl list;
    list.SetPlayListDir(dir.Path() + u"/");
    for (const std::u16string& title : kTitles) {
        plat::ComPtr<ISong> song;
        if (FAILED(list.CreateNewSong(song.ReleaseAndGetAddressOf(), FALSE))) return E_FAIL;
        plat::ComPtr<ID3> tag;
        if (FAILED(song->GetID3Tag(tag.ReleaseAndGetAddressOf()))) return E_FAIL;
        tag->SetTitle(plat::Bstr(title));
    }
    return list.Save();
}

HRESULT LoadPlayList(const TempDir& dir, std::u16string* content) {
    KPlayListImpl list;
    list.SetPlayListDir(dir.Path() + u"/");
    HRESULT hr = list.Load();
    content->clear();
    for (const auto& song : list.Songs()) {
        plat::ComPtr<ID3> tag;
        plat::Bstr title;
        if (SUCCEEDED(song->GetID3Tag(tag.ReleaseAndGetAddressOf()))) tag->GetTitle(title.Out());
        *content += title.Str() + u";";
    }
    return hr;
}

const std::vector<Subject> kSubjects = {
    {"settings", u"Kitchen speakers", 0, SettingsFile, SaveSettings, LoadSettings},
    {"playlist", u"Evening song", 2, [](const TempDir& d) { return d / u"QXCache/QXPlaylist.dat"; }, SavePlayList,
     LoadPlayList},
};

class StoredFileDamage : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TONQUIL_DATA_DIR", plat::ToUtf8(m_data.Path()).c_str(), 1);
        KErrorLog::Instance().ClearErrors();
    }
    TempDir m_data;
};

TEST_F(StoredFileDamage, ADamagedFileLoadsFromItsBackupAndBothDamagedLoadNothing) {
    for (const Subject& subject : kSubjects) {
        for (const DamageCase& damage : kDamages) {
            SCOPED_TRACE(std::string(subject.name) + ", " + damage.name);
            TempDir dir;
            const std::u16string file = subject.file(dir);
            ASSERT_EQ(subject.save(dir), S_OK);
            std::u16string intact;
            ASSERT_EQ(subject.load(dir, &intact), S_OK);
            ErrorCodes();

            ASSERT_TRUE(DamageFile(file, subject.marker, damage.kind, subject.skip));
            std::u16string loaded;
            EXPECT_EQ(subject.load(dir, &loaded), S_OK);
            EXPECT_EQ(loaded, intact);
            EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_OPEN_DATA_FILE}));  // the main file's damage

            ASSERT_TRUE(DamageFile(file + u".bak", subject.marker, damage.kind, subject.skip));
            const std::vector<uint8_t> mainBytes = ReadFileBytes(file), backupBytes = ReadFileBytes(file + u".bak");
            EXPECT_TRUE(FAILED(subject.load(dir, &loaded)));
            EXPECT_NE(loaded, intact);
            EXPECT_FALSE(ErrorCodes().empty());
            EXPECT_EQ(ReadFileBytes(file), mainBytes);
            EXPECT_EQ(ReadFileBytes(file + u".bak"), backupBytes);

            // The next successful save rewrites both copies.
            ASSERT_EQ(subject.save(dir), S_OK);
            EXPECT_EQ(ReadFileBytes(file), ReadFileBytes(file + u".bak"));
            EXPECT_EQ(subject.load(dir, &loaded), S_OK);
            EXPECT_EQ(loaded, intact);
        }
    }
}

TEST_F(StoredFileDamage, ALetterChangedInATitleIsCaughtByTheCheck) {
    TempDir dir;
    const std::u16string file = dir / u"QXCache/QXPlaylist.dat";
    ASSERT_EQ(SavePlayList(dir), S_OK);
    // The backup is older: a load that took the changed file for whole
    // would show the changed title, one that fell back shows the old list.
    {
        KPlayListImpl list;
        list.SetPlayListDir(dir.Path() + u"/");
        ASSERT_EQ(list.Load(), S_OK);
        plat::ComPtr<ISong> song;
        ASSERT_EQ(list.CreateNewSong(song.ReleaseAndGetAddressOf(), FALSE), S_OK);
        ser::KStgArchive archive;
        ASSERT_EQ(archive.open4write(file, ser::kDataStreamName), S_OK);
        ASSERT_TRUE(list.save(&archive, ser::kRootName));
        ASSERT_EQ(archive.close(false), S_OK);  // only the backup holds three songs
    }
    ASSERT_TRUE(DamageFile(file, u"Evening song", Damage::BitFlipped, 2));  // "Evening" -> "Etening"
    ErrorCodes();
    std::u16string loaded;
    EXPECT_EQ(LoadPlayList(dir, &loaded), S_OK);
    EXPECT_EQ(loaded, u"Morning song;Evening song;Default;");
    EXPECT_EQ(ErrorCodes(), (std::vector<LONG>{EC_OPEN_DATA_FILE}));
}

}  // namespace
