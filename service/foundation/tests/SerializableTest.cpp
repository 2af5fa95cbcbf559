#include <gtest/gtest.h>

#include "platform/com/Guid.h"
#include "platform/core/Text.h"
#include "service/foundation/Base64.h"
#include "service/foundation/ClassFactory.h"
#include "service/foundation/KSerializable.h"
#include "service/foundation/PropertyForms.h"
#include "service/foundation/tests/ArchiveTestUtil.h"

using namespace testutil;

namespace {

struct Inner : ser::KSerializable {
    int32_t n = 0;
    std::u16string s;
    void DefineProperties() override {
        AddProperty(u"n", &n);
        AddProperty(u"s", &s);
    }
    std::u16string GetClassName() const override { return u"TestInner"; }
};

struct Derived : Inner {
    uint32_t extra = 0;
    void DefineProperties() override {
        Inner::DefineProperties();
        AddProperty(u"extra", &extra);
    }
    std::u16string GetClassName() const override { return u"TestDerived"; }
};

struct Outer : ser::KSerializable {
    int32_t i = 0;
    uint32_t u = 0;
    uint64_t big = 0;
    int64_t time = 0;
    GUID guid{};
    RECT rect{};
    std::u16string text;
    Inner nested;
    std::unique_ptr<Inner> ptr;
    std::vector<Inner> list;
    std::vector<std::unique_ptr<Inner>> ptrs;
    int hooks = 0;
    ser::ELoadResult lastLoad = ser::lr_ok;

    void DefineProperties() override {
        AddProperty(u"i", &i);
        AddProperty(u"u", &u);
        AddProperty(u"big", &big);
        AddProperty(u"time", &time);
        AddProperty(u"guid", &guid);
        AddProperty(u"rect", &rect);
        AddProperty(u"text", &text);
        AddProperty(u"nested", &nested);
        AddProperty(u"ptr", &ptr);
        AddProperty(u"list", &list);
        AddProperty(u"ptrs", &ptrs);
        AddProperty(u"i", &u);  // a second registration of a name is ignored
    }
    void OnBeforeSave() override { ++hooks; }
    void OnAfterLoad(ser::ELoadResult r) override { lastLoad = r; }
    std::u16string GetClassName() const override { return u"TestOuter"; }
};

struct Plain : ser::KSerializable {
    int32_t a = 0;
    void DefineProperties() override { AddProperty(u"a", &a); }
    std::u16string GetClassName() const override { return u"TestPlain"; }
};

const ser::KClassRegistrar kInner(u"TestInner", &ser::CreateSerializable<Inner>);
const ser::KClassRegistrar kDerived(u"TestDerived", &ser::CreateSerializable<Derived>);

std::vector<uint8_t> Save(ser::KSerializable& record, const std::u16string& name = u"\\Settings1") {
    auto stream = plat::MemoryStream::Make();
    ser::KIStreamArchive archive(stream.Get());
    EXPECT_TRUE(record.save(&archive, name));
    return stream->Bytes();
}

ser::ELoadResult Load(ser::KSerializable& record, const std::vector<uint8_t>& bytes,
                      const std::u16string& root = u"\\Settings1", std::vector<Rec>* rest = nullptr) {
    auto stream = plat::MemoryStream::Make(bytes);
    ser::KIStreamArchive archive(stream.Get());
    ser::ELoadResult r = record.load(&archive, root);
    if (rest) {
        std::vector<uint8_t> tail(bytes.begin() + static_cast<long>(stream->Position()), bytes.end());
        *rest = Records(tail);
    }
    return r;
}

TEST(Base64, EncodesTheStoredNumbersAndDecodesLeniently) {
    uint32_t one = 1, mp3 = 0x3D3A2, cache = 1800000;
    EXPECT_EQ(ser::Base64Encode(&one, 4), u"AQAAAA==");
    EXPECT_EQ(ser::Base64Encode(&mp3, 4), u"otMDAA==");
    EXPECT_EQ(ser::Base64Encode(&cache, 4), u"QHcbAA==");
    uint8_t sixteen[16] = {};
    EXPECT_EQ(ser::Base64Encode(sixteen, 8).size(), 12u);
    EXPECT_EQ(ser::Base64Encode(sixteen, 16).size(), 24u);
    EXPECT_EQ(ser::Base64Encode("ab", 2), u"YWI=");

    uint8_t out[4] = {};
    EXPECT_EQ(ser::Base64Decode(u" ot\r\nMD AA==\t", out, 4), 4u);
    EXPECT_EQ(out[0], 0xA2);
    EXPECT_EQ(out[2], 0x03);
    EXPECT_EQ(ser::Base64Decode(u"YWI", out, 4), 2u);
    EXPECT_EQ(ser::Base64Decode(std::u16string_view(u"AQAA\0AAA", 8), out, 4), 3u);  // stops at the zero
    EXPECT_EQ(ser::Base64Decode(u"AQ\u0141AAAA==", out, 4), 4u);                   // non-ASCII is skipped
    EXPECT_EQ(ser::Base64Decode(u"AAAAAAAAAAAA", out, 4), 9u);                     // counts past the room
}

TEST(Serializable, AllFormsRoundTrip) {
    Outer a;
    a.i = -5;
    a.u = 0xFFFFFFFFu;
    a.big = 0x0123456789ABCDEFull;
    a.time = -86400;
    ASSERT_EQ(plat::CreateGuid(&a.guid), S_OK);
    a.rect = RECT{-1, 2, -3, 4};
    a.text = u"h\u00e9llo";
    a.nested.n = 7;
    a.nested.s = u"nest";
    auto d = std::make_unique<Derived>();
    d->n = 8;
    d->extra = 9;
    a.ptr = std::move(d);
    a.list.resize(3);
    for (int k = 0; k < 3; ++k) a.list[k].n = 10 + k;
    a.ptrs.push_back(std::make_unique<Inner>());
    a.ptrs.push_back(nullptr);
    a.ptrs[0]->s = u"p0";
    std::vector<uint8_t> bytes = Save(a);
    EXPECT_EQ(a.hooks, 1);

    Outer b;
    EXPECT_EQ(Load(b, bytes), ser::lr_ok);
    EXPECT_EQ(b.lastLoad, ser::lr_ok);
    EXPECT_EQ(b.i, -5);
    EXPECT_EQ(b.u, 0xFFFFFFFFu);
    EXPECT_EQ(b.big, a.big);
    EXPECT_EQ(b.time, -86400);
    EXPECT_EQ(b.guid, a.guid);
    EXPECT_EQ(b.rect.left, -1);
    EXPECT_EQ(b.rect.bottom, 4);
    EXPECT_EQ(b.text, a.text);
    EXPECT_EQ(b.nested.n, 7);
    EXPECT_EQ(b.nested.s, u"nest");
    auto* derived = dynamic_cast<Derived*>(b.ptr.get());
    ASSERT_NE(derived, nullptr);  // the class named in the inner group
    EXPECT_EQ(derived->extra, 9u);
    ASSERT_EQ(b.list.size(), 3u);
    EXPECT_EQ(b.list[2].n, 12);
    ASSERT_EQ(b.ptrs.size(), 2u);
    ASSERT_NE(b.ptrs[0], nullptr);
    EXPECT_EQ(b.ptrs[0]->s, u"p0");
    EXPECT_EQ(b.ptrs[1], nullptr);

    // A copy points its properties at its own members.
    Plain c;
    c.a = 41;
    Plain copy = c;
    Save(c);  // builds c's properties
    Plain late = c;
    c.a = 42;
    copy = c;  // assignment copies the member, not the properties
    Plain loaded;
    EXPECT_EQ(Load(loaded, Save(late)), ser::lr_ok);
    EXPECT_EQ(loaded.a, 41);
    EXPECT_EQ(Load(loaded, Save(copy)), ser::lr_ok);
    EXPECT_EQ(loaded.a, 42);
}

TEST(Serializable, StoredFormsAreTheDocumentedOnes) {
    Plain p;
    p.a = 1;
    EXPECT_EQ(Records(Save(p)),
              (std::vector<Rec>{Begin(u"\\Settings1", u"TestPlain"), Value(u"a", u"AQAAAA=="), End()}));

    Outer o;
    o.list.resize(3);
    std::vector<Rec> records = Records(Save(o));
    auto at = std::find(records.begin(), records.end(), Begin(u"list", u"3"));
    ASSERT_NE(at, records.end());
    EXPECT_EQ(at[1], Begin(u"0", u"TestInner"));
    EXPECT_EQ(at[5], Begin(u"1", u"TestInner"));
    EXPECT_EQ(at[9], Begin(u"2", u"TestInner"));
    EXPECT_EQ(at[13], End());
    auto ptr = std::find(records.begin(), records.end(), Begin(u"ptr", u"null"));
    ASSERT_NE(ptr, records.end());
    EXPECT_EQ(ptr[1], End());
}

TEST(Serializable, ValuesOfTheWrongLengthFailAndLeaveTheMember) {
    Plain p;
    p.a = 3;
    EXPECT_EQ(Load(p, Bytes({Begin(u"\\Settings1", u"TestPlain"), Value(u"a", u"AAAAAAAAAAA="), End()})),
              ser::lr_error);
    EXPECT_EQ(p.a, 3);
    EXPECT_EQ(Load(p, Bytes({Begin(u"\\Settings1", u"TestPlain"), Value(u"a", u" AgAA\r\nAA== "), End()})),
              ser::lr_ok);
    EXPECT_EQ(p.a, 2);
    // A member that fails does not keep the others from loading.
    Inner in;
    EXPECT_EQ(Load(in, Bytes({Begin(u"\\Settings1", u"TestInner"), Value(u"n", u"AQ=="), Value(u"s", u"kept"), End()})),
              ser::lr_error);
    EXPECT_EQ(in.n, 0);
    EXPECT_EQ(in.s, u"kept");
}

TEST(Serializable, UnknownNamesMakeALoadPartialOrFailed) {
    Plain p;
    std::vector<Rec> rest;
    EXPECT_EQ(Load(p,
                   Bytes({Begin(u"\\Settings1", u"TestPlain"), Value(u"zz", u"?"), Begin(u"g", u"X"),
                          Begin(u"gg", u"Y"), Value(u"a", u"?"), End(), End(), Value(u"a", u"BQAAAA=="), End(),
                          Value(u"after", u"1")}),
                   u"\\Settings1", &rest),
              ser::lr_partial);
    EXPECT_EQ(p.a, 5);  // the unknown group with its nested group was skipped whole
    EXPECT_EQ(rest, (std::vector<Rec>{Value(u"after", u"1")}));

    EXPECT_EQ(Load(p, Bytes({Begin(u"\\Settings1", u"TestPlain"), Value(u"zz", u"1"), End()})), ser::lr_error);
    EXPECT_EQ(Load(p, Bytes({Begin(u"\\Settings1", u"TestPlain"), End()})), ser::lr_error);
    // A group under a value's name is passed over like an unknown one.
    EXPECT_EQ(Load(p, Bytes({Begin(u"\\Settings1", u"TestPlain"), Begin(u"a", u"x"), Value(u"a", u"?"), End(),
                              Value(u"a", u"BgAAAA=="), End()})),
              ser::lr_partial);
    EXPECT_EQ(p.a, 6);
}

TEST(Serializable, LoadFindsTheRootByNameAndClass) {
    Plain p;
    std::vector<Rec> stream{Value(u"lead", u"x"),        Begin(u"\\Settings1", u"Other"), Value(u"a", u"BwAAAA=="),
                            End(),                       Begin(u"elsewhere", u"TestPlain"), End(),
                            Begin(u"\\Settings1", u"TestPlain"), Value(u"a", u"CAAAAA=="), End()};
    EXPECT_EQ(Load(p, Bytes(stream)), ser::lr_ok);
    EXPECT_EQ(p.a, 8);
    EXPECT_EQ(Load(p, Bytes({Begin(u"\\Settings1", u"Other"), Value(u"a", u"BwAAAA=="), End()})), ser::lr_error);
    EXPECT_EQ(p.a, 8);
}

TEST(Serializable, DamagedVectorsFailEmptyAndKeepTheStreamInStep) {
    auto load = [](std::vector<Rec> list, std::vector<Rec>* rest) {
        std::vector<Rec> all{Begin(u"\\Settings1", u"TestOuter")};
        all.insert(all.end(), list.begin(), list.end());
        all.push_back(End());
        all.push_back(Value(u"after", u"1"));
        Outer o;
        o.list.resize(2);
        ser::ELoadResult r = Load(o, Bytes(all), u"\\Settings1", rest);
        EXPECT_TRUE(o.list.empty());
        return r;
    };
    std::vector<Rec> rest;
    Rec element = Begin(u"0", u"TestInner");
    Rec n = Value(u"n", u"AQAAAA==");
    // An end after two of three elements.
    EXPECT_EQ(load({Begin(u"list", u"3"), element, n, End(), element, n, End(), End()}, &rest), ser::lr_error);
    EXPECT_EQ(rest, (std::vector<Rec>{Value(u"after", u"1")}));
    // The refused word, an over-long word, negative and absent counts.
    for (const char16_t* count : {u"1 pv", u"1 abcdefghijklmnopqrstuvwxyz0123456", u"-1", u"", u"x", u"99999999999"}) {
        EXPECT_EQ(load({Begin(u"list", count), element, n, End(), End()}, &rest), ser::lr_error) << plat::ToUtf8(count);
        EXPECT_EQ(rest, (std::vector<Rec>{Value(u"after", u"1")}));
    }
    // A huge count with one element fails at the missing ones.
    EXPECT_EQ(load({Begin(u"list", u"2000000000"), element, n, End(), End()}, &rest), ser::lr_error);
    // A damaged element, and a value where an element belongs.
    EXPECT_EQ(load({Begin(u"list", u"2"), element, Value(u"n", u"AA"), End(), element, n, End(), End()}, &rest),
              ser::lr_error);
    EXPECT_EQ(rest, (std::vector<Rec>{Value(u"after", u"1")}));
    EXPECT_EQ(load({Begin(u"list", u"1"), Value(u"0", u"x"), End()}, &rest), ser::lr_error);
    EXPECT_EQ(rest, (std::vector<Rec>{Value(u"after", u"1")}));
    // More elements than the count.
    EXPECT_EQ(load({Begin(u"list", u"1"), element, n, End(), element, n, End(), End()}, &rest), ser::lr_error);
    EXPECT_EQ(rest, (std::vector<Rec>{Value(u"after", u"1")}));
    // A count with a word of the allowed kind loads.
    Outer o;
    EXPECT_EQ(Load(o, Bytes({Begin(u"\\Settings1", u"TestOuter"), Begin(u"list", u" 1 word"), element, n, End(), End(),
                             End()})),
              ser::lr_ok);
    ASSERT_EQ(o.list.size(), 1u);
    EXPECT_EQ(o.list[0].n, 1);
}

TEST(Serializable, PointersOfUnknownOrWrongClassesFailInStep) {
    std::vector<Rec> rest;
    for (const char16_t* cls : {u"NoSuchClass", u"TestPlain"}) {
        Outer o;
        o.ptr = std::make_unique<Inner>();
        EXPECT_EQ(Load(o,
                       Bytes({Begin(u"\\Settings1", u"TestOuter"), Begin(u"ptr", u"value"), Begin(u"ptr", cls),
                              Value(u"n", u"AQAAAA=="), End(), End(), Value(u"i", u"AQAAAA=="), End(),
                              Value(u"after", u"1")}),
                       u"\\Settings1", &rest),
                  ser::lr_error);
        EXPECT_EQ(o.ptr, nullptr);
        EXPECT_EQ(rest, (std::vector<Rec>{Value(u"after", u"1")}));
    }
    Outer o;
    EXPECT_EQ(Load(o, Bytes({Begin(u"\\Settings1", u"TestOuter"), Begin(u"ptr", u"value"), End(), End()})),
              ser::lr_error);
    EXPECT_EQ(Load(o, Bytes({Begin(u"\\Settings1", u"TestOuter"), Begin(u"ptr", u"null"), Value(u"x", u"1"), End(),
                             End()}),
                   u"\\Settings1", &rest),
              ser::lr_error);
    EXPECT_TRUE(rest.empty());
}

TEST(ClassFactory, FirstRegistrationWinsAndNamesAreCaseSensitive) {
    ser::RegisterSerializableClass(u"TestInner", &ser::CreateSerializable<Derived>);
    auto made = ser::CreateSerializableByName(u"TestInner");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetClassName(), u"TestInner");
    EXPECT_EQ(ser::CreateSerializableByName(u"testinner"), nullptr);
    EXPECT_EQ(ser::FindSerializableCreator(u"Missing"), nullptr);
}

TEST(PropertyForms, ElementCountsParseLikeTheirStoredPattern) {
    int32_t count = -1;
    std::u16string word;
    EXPECT_TRUE(ser::forms::ParseElementCount(u"12", &count, &word));
    EXPECT_EQ(count, 12);
    EXPECT_TRUE(word.empty());
    EXPECT_TRUE(ser::forms::ParseElementCount(u"  +3 pv trailing", &count, &word));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(word, u"pv");
    EXPECT_TRUE(ser::forms::ParseElementCount(u"2147483647", &count, &word));
    EXPECT_FALSE(ser::forms::ParseElementCount(u"2147483648", &count, &word));
    EXPECT_TRUE(ser::forms::ParseElementCount(u"1 abcdefghijklmnopqrstuvwxyz01234", &count, &word));  // 31 units
    EXPECT_FALSE(ser::forms::ParseElementCount(u"1 abcdefghijklmnopqrstuvwxyz012345", &count, &word));
}

}  // namespace
