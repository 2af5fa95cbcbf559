#include "service/encoders/KAsfEncoder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "log/KLock.h"
#include "platform/core/LastError.h"
#include "platform/fs/File.h"

namespace {

// Profiles are a few hundred bytes; anything past this is not one.
constexpr uint64_t kMaxProfileBytes = 1 << 20;

// The index of the profile's audio stream (the last one when there are
// several); false when it has none.
bool FindAudioStream(IWMProfile* profile, DWORD* index) {
    DWORD count = 0;
    bool found = false;
    if (FAILED(profile->GetStreamCount(&count))) return false;
    for (DWORD i = 0; i < count; ++i) {
        plat::ComPtr<IWMStreamConfig> config;
        GUID type{};
        if (SUCCEEDED(profile->GetStream(i, config.ReleaseAndGetAddressOf())) &&
            SUCCEEDED(config->GetStreamType(&type)) && type == WMMEDIATYPE_Audio) {
            *index = i;
            found = true;
        }
    }
    return found;
}

}  // namespace

KAsfEncoder::KAsfEncoder() = default;

KAsfEncoder::~KAsfEncoder() { ReleaseAll(); }

HRESULT KAsfEncoder::NoteFailure(IWMWriter* writer, HRESULT hr) {
    plat::ComPtr<IWmOutputStatus> status;
    if (FAILED(hr) && writer && SUCCEEDED(plat::ComPtr<IWMWriter>(writer).As(&status)))
        m_dwOutputError = status->OutputError();
    return hr;
}

void KAsfEncoder::ReleaseAll() {
    m_pWriter.Reset();
    m_pProfile.Reset();
    m_pProfileManager.Reset();
}

HRESULT KAsfEncoder::LoadCustomProfile(const std::u16string& path) {
    if (path.empty()) return E_INVALIDARG;
    m_pProfile.Reset();
    m_pProfileManager.Reset();
    plat::ComPtr<IWMProfileManager> manager;
    HRESULT hr = WMCreateProfileManager(manager.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;

    plat::File file;
    if (!file.Open(path, plat::FileAccess::Read, plat::FileCreation::OpenExisting, plat::ShareRead))
        return plat::HResultFromLastError();
    struct stat st{};
    if (::fstat(file.Fd(), &st) != 0) return plat::HResultFromError(plat::SetLastErrorFromErrno());
    // A folder opens for reading here, unlike a file it is not read.
    if (!S_ISREG(st.st_mode)) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    // UTF-16 text is a whole number of units.
    if (size == 0 || size % 2 != 0 || size > kMaxProfileBytes) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    std::u16string text(size / 2, u'\0');
    uint32_t done = 0;
    for (uint64_t at = 0; at < size; at += done) {
        if (!file.Read(reinterpret_cast<char*>(text.data()) + at, static_cast<uint32_t>(size - at), &done))
            return plat::HResultFromLastError();
        if (done == 0) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);  // shrank while read
    }
    plat::ComPtr<IWMProfile> profile;
    hr = manager->LoadProfileByData(text.data(), static_cast<DWORD>(text.size()), profile.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    DWORD audio = 0;
    if (!FindAudioStream(profile, &audio)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    m_pProfileManager = std::move(manager);
    m_pProfile = std::move(profile);
    return S_OK;
}

HRESULT KAsfEncoder::SetInputAudioPropertys(DWORD samplesPerSec, WORD bitsPerSample, WORD channels) {
    if (samplesPerSec == 0 || bitsPerSample == 0 || bitsPerSample % 8 != 0 || channels == 0) return E_INVALIDARG;
    const WORD align = static_cast<WORD>(bitsPerSample / 8 * channels);
    m_waveFormat = WAVEFORMATEX{WAVE_FORMAT_PCM, channels, samplesPerSec, samplesPerSec * align, align, bitsPerSample, 0};
    m_mediaType = WM_MEDIA_TYPE{WMMEDIATYPE_Audio, WMMEDIASUBTYPE_PCM, TRUE, FALSE, 0, WMFORMAT_WaveFormatEx,
                                nullptr, sizeof(WAVEFORMATEX), reinterpret_cast<BYTE*>(&m_waveFormat)};
    return S_OK;
}

void KAsfEncoder::SetTags(std::u16string_view author, std::u16string_view title, std::u16string_view album,
                          std::u16string_view genre) {
    m_strAuthor = author;
    m_strTitle = title;
    m_strAlbum = album;
    m_strGenre = genre;
}

HRESULT KAsfEncoder::StartEncoding(BSTR bstrFileName) {
    if (!m_pProfileManager || !m_pProfile || SysStringLen(bstrFileName) == 0 || !m_mediaType.pbFormat) return E_FAIL;
    m_pWriter.Reset();  // a writer left from an earlier, failed start
    m_dwOutputError = 0;
    plat::ComPtr<IWMWriter> writer;
    HRESULT hr = WMCreateWriter(nullptr, writer.ReleaseAndGetAddressOf());
    if (FAILED(hr) || FAILED(hr = writer->SetProfile(m_pProfile))) return hr;

    m_qwRunningTime = 0;
    if (!FindAudioStream(m_pProfile, &m_dwAudioStream)) return E_FAIL;

    DWORD inputs = 0;
    if (FAILED(hr = writer->GetInputCount(&inputs))) return hr;
    for (DWORD i = 0; i < inputs; ++i) {
        plat::ComPtr<IWMInputMediaProps> props;
        plat::ComPtr<IWMStreamConfig> config;
        GUID type{};
        if (FAILED(writer->GetInputProps(i, props.ReleaseAndGetAddressOf())) || FAILED(props.As(&config)) ||
            FAILED(config->GetStreamType(&type)) || type != WMMEDIATYPE_Audio)
            continue;
        // The input must take our PCM, or every sample would be refused later.
        if (FAILED(hr = props->SetMediaType(&m_mediaType)) || FAILED(hr = writer->SetInputProps(m_dwAudioStream, props)))
            return hr;
    }
    if (FAILED(hr = writer->SetOutputFilename(bstrFileName))) return hr;

    plat::ComPtr<IWMHeaderInfo> header;
    if (SUCCEEDED(writer.As(&header))) {
        const std::pair<const char16_t*, const std::u16string*> tags[] = {
            {u"Author", &m_strAuthor}, {u"Title", &m_strTitle}, {u"WM/AlbumTitle", &m_strAlbum}, {u"WM/Genre", &m_strGenre}};
        for (const auto& [name, value] : tags) {
            // The length is a 16-bit byte count: longer text is cut.
            const size_t units = std::min<size_t>(value->size(), 0x7FFF);
            header->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(value->data()),
                                 static_cast<WORD>(units * 2));
        }
    }
    if (FAILED(hr = writer->BeginWriting())) return NoteFailure(writer, hr);
    m_pWriter = std::move(writer);
    return S_OK;
}

HRESULT KAsfEncoder::FillSample(INSSBuffer* sample, const BYTE* bytes, DWORD count) {
    if (!sample || (!bytes && count)) return E_POINTER;
    DWORD room = 0;
    BYTE* buffer = nullptr;
    HRESULT hr = sample->GetMaxLength(&room);
    if (FAILED(hr)) return hr;
    // Cutting the piece to fit would drop audio from the file without a word.
    if (room < count) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    if (FAILED(hr = sample->GetBuffer(&buffer))) return hr;
    if (!buffer) return E_POINTER;
    if (count) std::memcpy(buffer, bytes, count);
    return sample->SetLength(count);
}

HRESULT KAsfEncoder::WriteData(const BYTE* bytes, DWORD count, QWORD duration) {
    KLock lock(m_mutex);
    if (!bytes || count == 0) return E_FAIL;
    if (!m_pWriter) return E_UNEXPECTED;
    plat::ComPtr<INSSBuffer> sample;
    HRESULT hr = m_pWriter->AllocateSample(count, sample.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = FillSample(sample, bytes, count))) return hr;
    if (FAILED(hr = m_pWriter->WriteSample(m_dwAudioStream, m_qwRunningTime, 0, sample)))
        return NoteFailure(m_pWriter, hr);
    m_qwRunningTime += duration;
    return S_OK;
}

HRESULT KAsfEncoder::StopEncoding() {
    HRESULT hr = m_pWriter ? NoteFailure(m_pWriter, m_pWriter->EndWriting()) : S_OK;
    ReleaseAll();
    return hr;
}
