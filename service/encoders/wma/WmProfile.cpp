// The profile manager and the profiles it reads.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <mutex>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/core/LastError.h"
#include "service/encoders/wma/WmProfileSpec.h"

namespace {

constexpr uint32_t kWmaRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
constexpr size_t kMaxProfileUnits = 1 << 20;

struct DocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

bool Attribute(xmlNode* node, const char* name, std::string* value) {
    xmlChar* v = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!v) return false;
    value->assign(reinterpret_cast<const char*>(v));
    xmlFree(v);
    return true;
}

// A decimal number within [low, high], nothing else in the text.
bool Number(xmlNode* node, const char* name, uint32_t low, uint32_t high, uint32_t* value) {
    std::string text;
    if (!Attribute(node, name, &text) || text.empty()) return false;
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool IsElement(xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

bool ParseStream(xmlNode* node, WmStreamSpec* s) {
    std::string type;
    uint32_t number = 0;
    if (!Attribute(node, "type", &type) || type != "audio" || !Attribute(node, "codec", &s->codec) ||
        (s->codec != "wmav1" && s->codec != "wmav2") || !Number(node, "number", 1, 127, &number) ||
        !Number(node, "bitrate", 8000, 640000, &s->bitRate) || !Number(node, "samplerate", 8000, 48000, &s->sampleRate) ||
        !Number(node, "channels", 1, 2, &s->channels))
        return false;
    s->number = static_cast<WORD>(number);
    return std::find(std::begin(kWmaRates), std::end(kWmaRates), s->sampleRate) != std::end(kWmaRates);
}

class WmStreamConfig : public plat::ComObject<WmStreamConfig, IWMStreamConfig> {
public:
    explicit WmStreamConfig(const WmStreamSpec& spec) : m_spec(spec) {}
    HRESULT GetStreamType(GUID* type) override {
        if (!type) return E_POINTER;
        *type = WMMEDIATYPE_Audio;
        return S_OK;
    }
    HRESULT GetStreamNumber(WORD* number) override {
        if (!number) return E_POINTER;
        *number = m_spec.number;
        return S_OK;
    }
    HRESULT GetBitrate(DWORD* bitRate) override {
        if (!bitRate) return E_POINTER;
        *bitRate = m_spec.bitRate;
        return S_OK;
    }

private:
    WmStreamSpec m_spec;
};

class WmProfile : public plat::ComObject<WmProfile, IWMProfile, IWmProfileSpec> {
public:
    explicit WmProfile(WmProfileSpec spec) : m_spec(std::move(spec)) {}
    HRESULT GetStreamCount(DWORD* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<DWORD>(m_spec.streams.size());
        return S_OK;
    }
    HRESULT GetStream(DWORD index, IWMStreamConfig** config) override {
        if (!config) return E_POINTER;
        *config = nullptr;
        if (index >= m_spec.streams.size()) return E_INVALIDARG;
        plat::ComPtr<IWMStreamConfig> c(CreateWmStreamConfig(m_spec.streams[index]));
        if (!c) return E_OUTOFMEMORY;
        *config = c.Detach();
        return S_OK;
    }
    const WmProfileSpec& Spec() const override { return m_spec; }

private:
    WmProfileSpec m_spec;
};

class WmProfileManager : public plat::ComObject<WmProfileManager, IWMProfileManager> {
public:
    HRESULT LoadProfileByData(const char16_t* text, DWORD units, IWMProfile** profile) override {
        if (!profile) return E_POINTER;
        *profile = nullptr;
        if (!text) return E_INVALIDARG;
        WmProfileSpec spec;
        if (!ParseWmProfile(text, units, &spec)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
        plat::ComPtr<IWMProfile> p(WmProfile::CreateInstance(std::move(spec)));
        if (!p) return E_OUTOFMEMORY;
        *profile = p.Detach();
        return S_OK;
    }
};

}  // namespace

bool ParseWmProfile(const char16_t* text, size_t units, WmProfileSpec* out) {
    *out = WmProfileSpec{};
    if (!text || units == 0 || units > kMaxProfileUnits) return false;
    // The text is given by its length: a null inside it is damage, not its end.
    if (std::find(text, text + units, u'\0') != text + units) return false;
    static std::once_flag init;
    std::call_once(init, [] { xmlInitParser(); });
    std::unique_ptr<xmlDoc, DocFree> doc(
        xmlReadMemory(reinterpret_cast<const char*>(text), static_cast<int>(units * 2), "profile.prx", "UTF-16LE",
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc) return false;
    xmlNode* root = xmlDocGetRootElement(doc.get());
    std::string version;
    if (!root || !IsElement(root, "profile") || !Attribute(root, "version", &version) || version != "1") return false;
    Attribute(root, "name", &out->name);
    std::string packet;
    if (Attribute(root, "packetsize", &packet) && !Number(root, "packetsize", 100, 65536, &out->packetSize)) return false;
    for (xmlNode* n = root->children; n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE) continue;
        WmStreamSpec s;
        if (!IsElement(n, "stream") || !ParseStream(n, &s)) return false;
        out->streams.push_back(std::move(s));
    }
    return out->streams.size() == 1;
}

IWMStreamConfig* CreateWmStreamConfig(const WmStreamSpec& stream) { return WmStreamConfig::CreateInstance(stream); }

HRESULT WMCreateProfileManager(IWMProfileManager** manager) {
    if (!manager) return E_POINTER;
    plat::ComPtr<IWMProfileManager> m(WmProfileManager::CreateInstance());
    if (!m) return E_OUTOFMEMORY;
    *manager = m.Detach();
    return S_OK;
}
