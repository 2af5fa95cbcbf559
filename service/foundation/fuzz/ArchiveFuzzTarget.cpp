#include "service/foundation/fuzz/ArchiveFuzzTarget.h"

#include <cstring>
#include <memory>
#include <string>

#include "platform/storage/MemoryStream.h"
#include "service/foundation/Base64.h"
#include "service/foundation/ClassFactory.h"
#include "service/foundation/KIStreamArchive.h"
#include "service/foundation/KSerializable.h"
#include "service/foundation/KSongInfoListProperty.h"
#include "service/foundation/PropertyForms.h"

namespace {

// A record with a member of every stored form.
struct FuzzRecord : ser::KSerializable {
    int32_t i = 0;
    uint64_t big = 0;
    GUID guid{};
    RECT rect{};
    std::u16string text;
    SSongInfo nested;
    std::unique_ptr<SSongInfo> ptr;
    std::vector<SSongInfo> list;
    std::vector<std::unique_ptr<FuzzRecord>> tree;  // nests without bound but the input's
    std::vector<SSongInfo> songs;

    void DefineProperties() override {
        AddProperty(u"i", &i);
        AddProperty(u"big", &big);
        AddProperty(u"guid", &guid);
        AddProperty(u"rect", &rect);
        AddProperty(u"text", &text);
        AddProperty(u"nested", &nested);
        AddProperty(u"ptr", &ptr);
        AddProperty(u"list", &list);
        AddProperty(u"tree", &tree);
        AddProperty(std::make_unique<KSongInfoListProperty>(u"songs", &songs));
    }
    std::u16string GetClassName() const override { return u"FuzzRecord"; }
};

const ser::KClassRegistrar kRegister(u"FuzzRecord", &ser::CreateSerializable<FuzzRecord>);

// How deep a record stream may nest records in this target: each level costs
// stack in the loaders, and the service's own files nest three levels.
constexpr int kMaxDepth = 64;

int Depth(const std::vector<uint8_t>& bytes) {
    auto stream = plat::MemoryStream::Make(bytes);
    ser::KIStreamArchive archive(stream.Get());
    std::u16string name, value;
    int depth = 0, deepest = 0;
    for (int n = 0; n < 100000; ++n) {
        int type = archive.ReadRecord(name, value);
        if (type == ser::rt_error) break;
        if (type == ser::rt_begin) deepest = std::max(deepest, ++depth);
        if (type == ser::rt_end) --depth;
    }
    return deepest;
}

// Texts are stored up to their first zero unit.
std::u16string Stored(const std::u16string& text) { return text.substr(0, text.find(u'\0')); }

std::u16string AsText(const uint8_t* data, size_t size) {
    std::u16string text(size / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::vector<uint8_t> bytes(data, data + size);

    // The parsers of value texts.
    std::u16string text = AsText(data, size);
    uint8_t out[16];
    ser::Base64Decode(text, out, sizeof out);
    int32_t count = 0;
    std::u16string word;
    if (ser::forms::ParseElementCount(text, &count, &word) && word.size() > ser::forms::kMaxCountWordUnits) __builtin_trap();

    // The record reader and the loaders of every form.
    if (Depth(bytes) > kMaxDepth) return 0;
    {
        auto stream = plat::MemoryStream::Make(bytes);
        ser::KIStreamArchive archive(stream.Get());
        FuzzRecord record;
        record.load(&archive, u"\\Settings1");
    }
    {
        auto stream = plat::MemoryStream::Make(bytes);
        ser::KIStreamArchive archive(stream.Get());
        FuzzRecord record;
        if (record.LoadGroup(&archive) != ser::lr_error) {
            // What loaded must save again and load back the same.
            auto again = plat::MemoryStream::Make();
            ser::KIStreamArchive writer(again.Get());
            if (!record.save(&writer, u"r")) __builtin_trap();
            again->Rewind();
            ser::KIStreamArchive reader(again.Get());
            FuzzRecord copy;
            if (copy.load(&reader, u"r") == ser::lr_error) __builtin_trap();
            if (copy.i != record.i || copy.big != record.big || copy.text != Stored(record.text) ||
                copy.songs.size() != record.songs.size() || copy.list.size() != record.list.size())
                __builtin_trap();
        }
    }
    return 0;
}

namespace fuzz {

namespace {

std::vector<uint8_t> Stream(const std::vector<std::tuple<int, std::u16string, std::u16string>>& records) {
    auto stream = plat::MemoryStream::Make();
    ser::KIStreamArchive archive(stream.Get());
    for (const auto& [type, name, value] : records) archive.WriteRecord(type, name, value);
    return stream->Bytes();
}

}  // namespace

std::vector<std::vector<uint8_t>> ArchiveSeeds() {
    std::vector<std::vector<uint8_t>> seeds;
    FuzzRecord full;
    full.i = 7;
    full.text = u"text";
    full.ptr = std::make_unique<SSongInfo>();
    full.list.resize(2);
    full.songs.resize(3);
    full.songs[1].strTitle = u"song";
    full.tree.push_back(std::make_unique<FuzzRecord>());
    full.tree.push_back(nullptr);
    auto stream = plat::MemoryStream::Make();
    ser::KIStreamArchive archive(stream.Get());
    full.save(&archive, u"\\Settings1");
    seeds.push_back(stream->Bytes());
    seeds.push_back(Stream({{ser::rt_begin, u"\\Settings1", u"FuzzRecord"},
                            {ser::rt_begin, u"songs", u"2 pv"},
                            {ser::rt_begin, u"0", u"SSongInfo"},
                            {ser::rt_value, u"nTrack", u"AAAAAA=="},
                            {ser::rt_end, u"", u""},
                            {ser::rt_end, u"", u""},
                            {ser::rt_end, u"", u""}}));
    std::u16string count = u" 12 word";
    seeds.emplace_back(reinterpret_cast<const uint8_t*>(count.data()),
                       reinterpret_cast<const uint8_t*>(count.data() + count.size()));
    std::u16string base64 = u"otMD\r\nAA==";
    seeds.emplace_back(reinterpret_cast<const uint8_t*>(base64.data()),
                       reinterpret_cast<const uint8_t*>(base64.data() + base64.size()));
    return seeds;
}

}  // namespace fuzz
