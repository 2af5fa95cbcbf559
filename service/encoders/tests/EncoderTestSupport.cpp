#include "service/encoders/tests/EncoderTestSupport.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/core/Text.h"
#include "platform/core/Thread.h"
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
