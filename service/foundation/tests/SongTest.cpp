#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/ComPtr.h"
#include "platform/com/Module.h"
#include "service/foundation/KID3.h"
#include "service/foundation/KSong.h"

namespace {

plat::ComPtr<ID3> TagOf(ISong* song) {
    plat::ComPtr<ID3> tag;
    EXPECT_EQ(song->GetID3Tag(tag.ReleaseAndGetAddressOf()), S_OK);
    return tag;
}

std::u16string Text(ID3* tag, HRESULT (ID3::*get)(BSTR*)) {
    plat::Bstr b;
    EXPECT_EQ((tag->*get)(b.Out()), S_OK);
    return b.Str();
}

TEST(Song, ANewSongIsEmptyUndefinedAndHasItsOwnId) {
    LONG locks = plat::ComModule::LockCount();
    plat::ComPtr<ISong> a(CreateSongObject()), b(CreateSongObject());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(plat::ComModule::LockCount(), locks + 4);  // two songs, two tags
    ULONG left = 1, right = 1, length = 1;
    LONG defined = 1;
    EXPECT_EQ(a->GetBorders(&left, &right), S_OK);
    EXPECT_EQ(a->GetLength(&length), S_OK);
    EXPECT_EQ(a->IsDefined(&defined), S_OK);
    EXPECT_EQ(left + right + length, 0u);
    EXPECT_EQ(defined, 0);
    GUID ga, gb;
    EXPECT_EQ(a->GetID(&ga), S_OK);
    EXPECT_EQ(b->GetID(&gb), S_OK);
    EXPECT_NE(ga, GUID_NULL);
    EXPECT_NE(ga, gb);

    plat::ComPtr<ID3> tag = TagOf(a.Get());
    UINT track = 1, year = 1;
    tag->GetTrackNumber(&track);
    tag->GetYear(&year);
    EXPECT_EQ(track + year, 0u);
    EXPECT_EQ(Text(tag.Get(), &ID3::GetTitle), u"Default");
    EXPECT_EQ(Text(tag.Get(), &ID3::GetArtist), u"Unknown");
    EXPECT_EQ(Text(tag.Get(), &ID3::GetAlbum), u"Unknown");
    EXPECT_EQ(Text(tag.Get(), &ID3::GetGenre), u"Unknown");
    tag = nullptr;
    a = nullptr;
    b = nullptr;
    EXPECT_EQ(plat::ComModule::LockCount(), locks);
}

TEST(Song, BordersClampAndDefine) {
    plat::ComPtr<ISong> s(CreateSongObject());
    ULONG l = 0, r = 0, len = 0;
    LONG defined = 0;
    s->SetRightBorder(100000);
    s->IsDefined(&defined);
    EXPECT_EQ(defined, 0);  // the right border does not define a song
    s->SetLeftBorder(200000);
    s->GetBorders(&l, &r);
    s->IsDefined(&defined);
    EXPECT_EQ(l, 100000u);
    EXPECT_EQ(r, 100000u);
    EXPECT_EQ(defined, 1);

    plat::ComPtr<ISong> t(CreateSongObject());
    t->SetLeftBorder(200000);  // with the right border 0 any left border is taken
    t->SetRightBorder(100000);
    t->GetBorders(&l, &r);
    EXPECT_EQ(l, 200000u);
    EXPECT_EQ(r, 200000u);
    t->SetRightBorder(0);  // 0 is always stored
    t->GetBorders(&l, &r);
    EXPECT_EQ(r, 0u);
    t->GetLength(&len);
    EXPECT_EQ(len, 0u - 200000u);  // wraps as an unsigned 32-bit number
    t->SetDefined(0);
    t->IsDefined(&defined);
    EXPECT_EQ(defined, 0);
}

TEST(Song, RenameSetsTheSharedTagsTitle) {
    plat::ComPtr<ISong> s(CreateSongObject());
    plat::ComPtr<ID3> tag = TagOf(s.Get());
    EXPECT_EQ(s->Rename(plat::Bstr(u"X")), S_OK);
    EXPECT_EQ(Text(tag.Get(), &ID3::GetTitle), u"X");
    EXPECT_EQ(s->Rename(nullptr), E_POINTER);
    EXPECT_EQ(Text(tag.Get(), &ID3::GetTitle), u"X");
    EXPECT_EQ(s->GetBorders(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(s->GetID3Tag(nullptr), E_POINTER);
}

TEST(Tag, StringsKeepTheirByteLengthAndNullStaysNull) {
    plat::ComPtr<ID3> tag(CreateID3Object(nullptr));
    ASSERT_TRUE(tag);
    plat::Bstr odd;
    odd.Attach(SysAllocStringByteLen("a\0bcd", 5));
    EXPECT_EQ(tag->SetArtist(odd), S_OK);
    plat::Bstr back;
    EXPECT_EQ(tag->GetArtist(back.Out()), S_OK);
    ASSERT_EQ(SysStringByteLen(back), 5u);
    EXPECT_EQ(std::memcmp(back.Get(), "a\0bcd", 5), 0);
    EXPECT_NE(back.Get(), odd.Get());
    EXPECT_EQ(tag->SetGenre(nullptr), S_OK);
    EXPECT_EQ(tag->GetGenre(back.Out()), S_OK);
    EXPECT_TRUE(back.IsNull());
    EXPECT_EQ(tag->GetTitle(nullptr), E_POINTER);
    EXPECT_EQ(tag->GetYear(nullptr), E_POINTER);
}

TEST(Tag, ACopyTakesEveryField) {
    plat::ComPtr<ID3> source(CreateID3Object(nullptr));
    source->SetTrackNumber(4);
    source->SetYear(1999);
    source->SetTitle(plat::Bstr(u"T"));
    source->SetArtist(plat::Bstr(u"A"));
    source->SetAlbum(plat::Bstr(u"B"));
    source->SetGenre(plat::Bstr(u"G"));
    plat::ComPtr<ID3> copy(CreateID3Object(source.Get()));
    ASSERT_TRUE(copy);
    UINT track = 0, year = 0;
    copy->GetTrackNumber(&track);
    copy->GetYear(&year);
    EXPECT_EQ(track, 4u);
    EXPECT_EQ(year, 1999u);
    EXPECT_EQ(Text(copy.Get(), &ID3::GetTitle), u"T");
    EXPECT_EQ(Text(copy.Get(), &ID3::GetArtist), u"A");
    EXPECT_EQ(Text(copy.Get(), &ID3::GetAlbum), u"B");
    EXPECT_EQ(Text(copy.Get(), &ID3::GetGenre), u"G");
    copy->SetTitle(plat::Bstr(u"changed"));
    EXPECT_EQ(Text(source.Get(), &ID3::GetTitle), u"T");
}

}  // namespace
