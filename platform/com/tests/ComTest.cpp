#include <gtest/gtest.h>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Module.h"
#include "platform/com/Variant.h"

using namespace plat;

TEST(Guid, RegistryTextRoundTrip) {
    GUID g{0x2C57C7C4, 0xF974, 0x4BB9, {0x8E, 0xCC, 0x3A, 0x0F, 0x5D, 0xD6, 0x90, 0xBC}};
    EXPECT_EQ(GuidToString(g), u"{2C57C7C4-F974-4BB9-8ECC-3A0F5DD690BC}");
    EXPECT_EQ(GuidToHex(g), "2C57C7C4F9744BB98ECC3A0F5DD690BC");
    GUID back{};
    ASSERT_TRUE(GuidFromString(u"{2c57c7c4-f974-4bb9-8ecc-3a0f5dd690bc}", &back));
    EXPECT_EQ(back, g);
    ASSERT_TRUE(GuidFromString("2C57C7C4-F974-4BB9-8ECC-3A0F5DD690BC", &back));
    EXPECT_EQ(back, g);
    for (const char* bad : {"", "{2C57C7C4-F974-4BB9-8ECC-3A0F5DD690BC", "{2C57C7C4-F974-4BB9-8ECC3A0F5DD690BC-}",
                            "{2C57C7C4-F974-4BB9-8ECC-3A0F5DD690BG}", "{2C57C7C4-F974-4BB9-8ECC-3A0F5DD690BC}x"})
        EXPECT_FALSE(GuidFromString(bad, &back)) << bad;
    uint8_t bytes[16];
    GuidToBytes(g, bytes);
    EXPECT_EQ(bytes[0], 0xC4);
    EXPECT_EQ(bytes[4], 0x74);
    EXPECT_EQ(GuidFromBytes(bytes), g);
}

TEST(Guid, CreatedGuidsDifferAndCarryTheVersion) {
    GUID a{}, b{};
    ASSERT_EQ(CreateGuid(&a), S_OK);
    ASSERT_EQ(CreateGuid(&b), S_OK);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.Data3 >> 12, 4);
    EXPECT_EQ(CreateGuid(nullptr), E_POINTER);
}

TEST(Bstr, NullIsDistinctFromEmpty) {
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], 0);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(empty);
    SysFreeString(nullptr);

    const char16_t withZero[] = {u'a', 0, u'b'};
    BSTR s = SysAllocStringLen(withZero, 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    EXPECT_EQ(plat::BstrToU16(s), std::u16string(withZero, 3));
    SysFreeString(s);

    Bstr owner(u"title");
    Bstr copy = owner;
    EXPECT_NE(copy.Get(), owner.Get());
    EXPECT_EQ(copy.Str(), u"title");
    Bstr none;
    EXPECT_TRUE(none.IsNull());
    EXPECT_EQ(none.Copy(), nullptr);
    EXPECT_TRUE(SysReAllocString(owner.Out(), u"x") == TRUE);
    EXPECT_EQ(owner.Str(), u"x");
}

namespace {

struct ITestA : IUnknown {
    static constexpr IID kIID{0x11111111, 0x1111, 0x1111, {1, 1, 1, 1, 1, 1, 1, 1}};
    virtual int A() = 0;
};
struct ITestB : IUnknown {
    static constexpr IID kIID{0x22222222, 0x2222, 0x2222, {2, 2, 2, 2, 2, 2, 2, 2}};
    virtual int B() = 0;
};

int g_destroyed = 0;

class Both : public ComObject<Both, ITestA, ITestB> {
public:
    Both() { ComModule::Lock(); }
    ~Both() override {
        ++g_destroyed;
        ComModule::Unlock();
    }
    int A() override { return 1; }
    int B() override { return 2; }
};

}  // namespace

TEST(ComObject, CreatedAtZeroOwnedByFirstReferenceAndFoundByIid) {
    g_destroyed = 0;
    int quits = 0;
    ComModule::SetLastUnlockHandler([&] { ++quits; });
    {
        Both* raw = Both::CreateInstance();
        ASSERT_NE(raw, nullptr);
        EXPECT_EQ(raw->RefCount(), 0u);
        EXPECT_EQ(ComModule::LockCount(), 1);
        ComPtr<ITestA> a(raw);
        EXPECT_EQ(raw->RefCount(), 1u);
        ComPtr<ITestB> b;
        ASSERT_EQ(a.As(&b), S_OK);
        EXPECT_EQ(b->B(), 2);
        EXPECT_EQ(raw->RefCount(), 2u);
        ComPtr<IUnknown> u1, u2;
        ASSERT_EQ(a.As(&u1), S_OK);
        ASSERT_EQ(b.As(&u2), S_OK);
        EXPECT_EQ(u1.Get(), u2.Get());  // one identity whichever interface asks
        void* none = reinterpret_cast<void*>(1);
        EXPECT_EQ(raw->QueryInterface(GUID_NULL, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
        EXPECT_EQ(raw->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    }
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(ComModule::LockCount(), 0);
    ComModule::SetLastUnlockHandler(nullptr);
}

TEST(ComPtr, DetachAttachAndCopyTo) {
    g_destroyed = 0;
    ComPtr<ITestA> a(Both::CreateInstance());
    ITestA* out = nullptr;
    ASSERT_EQ(a.CopyTo(&out), S_OK);
    ComPtr<ITestA> b;
    b.Attach(out);  // takes over the copy's reference
    a.Reset();
    EXPECT_EQ(g_destroyed, 0);
    b = nullptr;
    EXPECT_EQ(g_destroyed, 1);
}

TEST(SafeArray, StringsAndObjectsInAVariant) {
    plat::Variant v;
    ASSERT_EQ(MakeStringArray({u"one", u"", u"three"}, &v), S_OK);
    EXPECT_EQ(v.Get().vt, VT_ARRAY | VT_BSTR);
    LONG lb = -1, ub = -1;
    SafeArrayGetLBound(v.Get().parray, 1, &lb);
    SafeArrayGetUBound(v.Get().parray, 1, &ub);
    EXPECT_EQ(lb, 0);
    EXPECT_EQ(ub, 2);
    std::vector<std::u16string> texts;
    ASSERT_EQ(ReadStringArray(v.Get(), &texts), S_OK);
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"one", u"", u"three"}));
    LONG bad = 3;
    BSTR s = nullptr;
    EXPECT_EQ(SafeArrayGetElement(v.Get().parray, &bad, &s), DISP_E_BADINDEX);

    plat::Variant empty;
    ASSERT_EQ(MakeStringArray({}, &empty), S_OK);
    SafeArrayGetUBound(empty.Get().parray, 1, &ub);
    EXPECT_EQ(ub, -1);

    g_destroyed = 0;
    {
        ComPtr<ITestA> obj(Both::CreateInstance());
        plat::Variant objs;
        ASSERT_EQ(MakeUnknownArray({obj.Get()}, &objs), S_OK);
        plat::Variant copy;
        ASSERT_EQ(VariantCopy(&copy, &objs.Get()), S_OK);
        std::vector<IUnknown*> got;
        ASSERT_EQ(ReadUnknownArray(copy.Get(), &got), S_OK);
        ASSERT_EQ(got.size(), 1u);
        got[0]->Release();
        EXPECT_EQ(ReadStringArray(copy.Get(), &texts), E_INVALIDARG);
    }
    EXPECT_EQ(g_destroyed, 1);  // the arrays dropped their references
}
