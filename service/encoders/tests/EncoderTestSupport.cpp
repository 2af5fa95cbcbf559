#include "service/encoders/tests/EncoderTestSupport.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/core/Text.h"
#include "platform/core/Thread.h"
#include "service/audio/KCache.h"
#include "service/encoders/tests/support/MediaProbe.h"
#include "service/foundation/KID3.h"

namespace enctest {

HRESULT MemoryCache::ReadFixedPos(ULONGLONG pos, ULONG n, BYTE* dst) {
    reads.push_back(pos);
    if (pos + n > failFrom) return readFailure;
    if (pos < m_start || pos + n > m_start + m_data.size()) return E_FAIL;
    std::memcpy(dst, m_data.data() + (pos - m_start), n);
    return S_OK;
}

FakeSong::FakeSong(ULONG leftMs, ULONG rightMs, const std::u16string& title) : m_left(leftMs), m_right(rightMs) {
    m_tag = CreateID3Object(nullptr);  // its count starts at 0
    if (m_tag) {
        plat::Bstr t(title);
        m_tag->SetTitle(t);
    }
}

void FakeSong::SetTags(const std::u16string& artist, const std::u16string& album, const std::u16string& genre) {
    plat::Bstr a(artist), b(album), g(genre);
    m_tag->SetArtist(a);
    m_tag->SetAlbum(b);
    m_tag->SetGenre(g);
}

HRESULT RecordingEncoder::EncoderInit(BSTR name) {
    initNames.push_back(plat::BstrToU16(name));
    if (failInit) return E_FAIL;
    HRESULT hr = OpenOutputFile(name, &m_file);
    if (FAILED(hr)) return hr;
    m_name = plat::Bstr(name);
    m_dwPieceSizeInBytes = pieceSize;
    return WriteOutput(m_file, "HEAD", 4, m_name);
}

HRESULT RecordingEncoder::EncodePiece(BYTE* pSamples, DWORD dwBytes) {
    const size_t index = pieceBytes.size();
    if (onPiece) onPiece(index);
    pieceBytes.push_back(dwBytes);
    piecePriority = ::getpriority(PRIO_PROCESS, static_cast<id_t>(plat::CurrentThreadId()));
    if (plat::CurrentThreadId() == callerThread) piecesOnCaller = true;
    if (index == failPieceAt) return E_FAIL;
    const size_t first = samples.size();
    samples.resize(first + dwBytes / 2);
    std::memcpy(samples.data() + first, pSamples, dwBytes);
    return WriteOutput(m_file, pSamples, dwBytes, m_name);
}

HRESULT RecordingEncoder::EncoderUninit() {
    ++uninitCalls;
    if (onUninit) onUninit();
    HRESULT hr = m_file.IsOpen() ? WriteOutput(m_file, "TAIL", 4, m_name) : S_OK;
    m_file.Close();
    return failUninit ? E_FAIL : hr;
}

HRESULT ProgressLog::Progress(UINT n, BSTR path) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_values.push_back(n);
    m_paths.push_back(plat::BstrToU16(path));
    return S_OK;
}

std::vector<UINT> ProgressLog::Values() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_values;
}

std::vector<std::u16string> ProgressLog::Paths() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_paths;
}

void ProgressLog::Attach(IAudioEncoder* encoder) {
    plat::ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(encoder->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.GetAddressOf())), S_OK);
    plat::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID__IAudioEncoderEvents, point.GetAddressOf()), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(static_cast<_IAudioEncoderEvents*>(this), &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
}

HRESULT SaveTagged(IAudioEncoder* encoder, ULONG fromMs, ULONG toMs, const SongTags& tags,
                   const std::u16string& path) {
    plat::ComPtr<FakeSong> song(FakeSong::CreateInstance(fromMs, toMs, tags.title));
    song->SetTags(tags.artist, tags.album, tags.genre);
    return encoder->Save(song.Get(), plat::Bstr(path));
}

std::vector<BYTE> Tone(ULONG ms, SHORT level) { return Parts({{ms, level}}); }

std::vector<BYTE> Parts(std::initializer_list<std::pair<ULONG, SHORT>> parts) {
    std::vector<BYTE> out;
    for (auto [ms, level] : parts) {
        const size_t samples = size_t{ms} * 96;  // 48 frames of 2 samples per ms
        for (size_t i = 0; i < samples; ++i) {
            out.push_back(static_cast<BYTE>(level & 0xFF));
            out.push_back(static_cast<BYTE>((level >> 8) & 0xFF));
        }
    }
    return out;
}

plat::ComPtr<ICache> RealCacheWith(const std::u16string& folder, const std::vector<BYTE>& audio) {
    plat::ComPtr<KCache> cache(KCache::Create());
    if (!cache || !plat::CreateDirectory(folder) || cache->SetCacheDir(plat::Bstr(folder)) != S_OK) {
        ADD_FAILURE() << "no cache";
        return nullptr;
    }
    cache->Load();  // nothing stored yet
    for (size_t at = 0; at < audio.size(); at += 192000) {
        const auto bytes = static_cast<ULONG>(std::min<size_t>(192000, audio.size() - at));
        if (cache->WriteEx(PLAY_DEVICE_BUFFER, bytes, const_cast<BYTE*>(&audio[at])) != S_OK) {
            ADD_FAILURE() << "cache write";
            return nullptr;
        }
    }
    if (cache->Flush() != S_OK) {
        ADD_FAILURE() << "cache flush";
        return nullptr;
    }
    return plat::ComPtr<ICache>(cache.Get());
}

TempFolder::TempFolder() {
    std::string tmpl = ::testing::TempDir() + "tonquil-enc-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    const char* made = ::mkdtemp(buf.data());
    if (made) m_path = plat::ToUtf16(std::string(made)) + u"/";
}

TempFolder::~TempFolder() {
    if (!m_path.empty()) plat::DeleteFolderRecursive(m_path);
}

std::vector<std::u16string> TempFolder::Names() const {
    std::vector<plat::DirEntry> entries;
    std::vector<std::u16string> names;
    if (plat::ListDirectory(m_path, &entries))
        for (auto& e : entries) names.push_back(e.name);
    return names;
}

std::vector<BYTE> AsBytes(const std::vector<int16_t>& samples) {
    std::vector<BYTE> out(samples.size() * 2);
    std::memcpy(out.data(), samples.data(), out.size());
    return out;
}

std::vector<int16_t> DecodeMono(const std::u16string& path) {
    const std::string file = plat::ToUtf8(path);
    const std::string raw = file + ".mono.raw";
    int status = -1;
    RunCommand("ffmpeg -nostdin -y -v error -i " + ShellQuote(file) + " -f s16le -ac 1 " + ShellQuote(raw) +
                   " 2>/dev/null",
               &status);
    std::vector<int16_t> samples;
    if (FILE* f = std::fopen(raw.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        samples.resize(static_cast<size_t>(std::ftell(f)) / 2);
        std::fseek(f, 0, SEEK_SET);
        if (std::fread(samples.data(), 2, samples.size(), f) != samples.size()) samples.clear();
        std::fclose(f);
    }
    std::remove(raw.c_str());
    if (status != 0) samples.clear();
    return samples;
}

double Rms(const std::vector<int16_t>& samples, size_t from, size_t count) {
    double sum = 0;
    for (size_t i = from; i < from + count && i < samples.size(); ++i) sum += double(samples[i]) * samples[i];
    return count ? std::sqrt(sum / double(count)) : 0.0;
}

uint64_t FileSize(const std::u16string& path) {
    uint64_t size = 0;
    plat::GetFileSize(path, &size);
    return size;
}

bool WriteText(const std::u16string& path, const std::string& text) {
    plat::File f;
    return f.Open(path, plat::FileAccess::Write, plat::FileCreation::CreateNew) &&
           f.Write(text.data(), static_cast<uint32_t>(text.size()), nullptr);
}

std::string ReadText(const std::u16string& path) {
    plat::File f;
    if (!f.Open(path, plat::FileAccess::Read, plat::FileCreation::OpenExisting)) return {};
    std::string out(1 << 20, '\0');
    uint32_t done = 0;
    if (!f.Read(out.data(), static_cast<uint32_t>(out.size()), &done)) return {};
    out.resize(done);
    return out;
}

}  // namespace enctest
