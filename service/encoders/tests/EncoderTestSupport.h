#pragma once
// Stand-ins for the encoder tests: a cache held in memory, a song with free
// borders and a real tag, a format that records what the save loop hands it,
// and a sink that records the Progress events.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ipc/QXServiceLib.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "service/encoders/KAudioEncoder.h"

namespace enctest {

// A cache whose stream is a vector of bytes starting at position `start`.
class MemoryCache final : public plat::ComObject<MemoryCache, ICache> {
public:
    MemoryCache(ULONGLONG start, std::vector<BYTE> data) : m_start(start), m_data(std::move(data)) {}

    // Reads at or past this position fail with readFailure.
    std::atomic<ULONGLONG> failFrom{~0ULL};
    HRESULT readFailure = E_FAIL;
    // Positions of the ReadFixedPos calls, in order.
    std::vector<ULONGLONG> reads;

    HRESULT GetStartReadPos(ULONGLONG* p) override { return *p = m_start, S_OK; }
    HRESULT GetWritePos(ULONGLONG* p) override { return *p = m_start + m_data.size(), S_OK; }
    HRESULT ReadFixedPos(ULONGLONG pos, ULONG n, BYTE* dst) override;

    HRESULT SetSize(ULONGLONG) override { return E_NOTIMPL; }
    HRESULT GetSize(ULONGLONG*) override { return E_NOTIMPL; }
    HRESULT GetFileMaxSize(ULONG*) override { return E_NOTIMPL; }
    HRESULT IsEmpty(LONG*) override { return E_NOTIMPL; }
    HRESULT IsFull(LONG*) override { return E_NOTIMPL; }
    HRESULT GetPercentFullness(BYTE*) override { return E_NOTIMPL; }
    HRESULT GetTimeFullness(ULONGLONG*) override { return E_NOTIMPL; }
    HRESULT GetByteFullness(ULONGLONG*) override { return E_NOTIMPL; }
    HRESULT GetReadPos(ULONGLONG*) override { return E_NOTIMPL; }
    HRESULT GetReadPosEx(UINT, ULONGLONG*) override { return E_NOTIMPL; }
    HRESULT GetWritePosEx(UINT, ULONGLONG*) override { return E_NOTIMPL; }
    HRESULT SynchronizeReadPos(LONGLONG, EBasicPosition) override { return E_NOTIMPL; }
    HRESULT SetReadPosEx(UINT, LONGLONG, EBasicPosition) override { return E_NOTIMPL; }
    HRESULT SetUndeletableRange(ULONGLONG, ULONGLONG) override { return E_NOTIMPL; }
    HRESULT ResetUndeletableRange(ULONGLONG, ULONGLONG) override { return E_NOTIMPL; }
    HRESULT WriteEx(UINT, ULONG, BYTE*) override { return E_NOTIMPL; }
    HRESULT WriteSilenceEx(UINT, ULONGLONG) override { return E_NOTIMPL; }
    HRESULT Read(ULONG, BYTE*) override { return E_NOTIMPL; }
    HRESULT ReadEx(UINT, ULONG, BYTE*) override { return E_NOTIMPL; }
    HRESULT ReadFixedPosEx(UINT, ULONGLONG, ULONG, BYTE*) override { return E_NOTIMPL; }
    HRESULT Clear(LONG) override { return E_NOTIMPL; }
    HRESULT SetLive(LONG) override { return E_NOTIMPL; }
    HRESULT SetCanLive(LONG) override { return E_NOTIMPL; }
    HRESULT SetLiveEx(UINT, LONG) override { return E_NOTIMPL; }
    HRESULT SetCanLiveEx(UINT, LONG) override { return E_NOTIMPL; }
    HRESULT SetCacheDir(BSTR) override { return E_NOTIMPL; }
    HRESULT IsLive(UINT, LONG*) override { return E_NOTIMPL; }
    HRESULT GetCacheDir(BSTR*) override { return E_NOTIMPL; }
    HRESULT Save() override { return E_NOTIMPL; }
    HRESULT Load() override { return E_NOTIMPL; }

private:
    ULONGLONG m_start;
    std::vector<BYTE> m_data;
};

// A song whose borders are whatever the test sets (left may exceed right).
class FakeSong final : public plat::ComObject<FakeSong, ISong> {
public:
    FakeSong(ULONG leftMs, ULONG rightMs, const std::u16string& title);

    HRESULT GetBorders(ULONG* l, ULONG* r) override { return *l = m_left, *r = m_right, S_OK; }
    HRESULT SetLeftBorder(ULONG v) override { return m_left = v, S_OK; }
    HRESULT SetRightBorder(ULONG v) override { return m_right = v, S_OK; }
    HRESULT GetID3Tag(ID3** pp) override { return m_tag.CopyTo(pp); }
    HRESULT GetID(GUID*) override { return E_NOTIMPL; }
    HRESULT GetLength(ULONG*) override { return E_NOTIMPL; }
    HRESULT Rename(BSTR) override { return E_NOTIMPL; }
    HRESULT IsDefined(LONG*) override { return E_NOTIMPL; }
    HRESULT SetDefined(LONG) override { return E_NOTIMPL; }

    ID3* Tag() { return m_tag.Get(); }
    void SetTags(const std::u16string& artist, const std::u16string& album, const std::u16string& genre);

private:
    ULONG m_left, m_right;
    plat::ComPtr<ID3> m_tag;
};

// A format that keeps every sample it is given and writes a marked file:
// "HEAD", the samples, "TAIL".
class RecordingEncoder final : public KAudioEncoder {
public:
    static RecordingEncoder* Create() { return CreateEncoder<RecordingEncoder>(u"Creation of test encoder was failed"); }

    DWORD pieceSize = 1920;  // 10 ms
    bool failInit = false;
    size_t failPieceAt = SIZE_MAX;
    bool failUninit = false;
    // Called at the start of EncodePiece (with its index) and of EncoderUninit.
    std::function<void(size_t)> onPiece;
    std::function<void()> onUninit;

    std::vector<SHORT> samples;
    std::vector<DWORD> pieceBytes;
    std::vector<std::u16string> initNames;
    int uninitCalls = 0;
    int piecePriority = -100;   // nice value of the thread that encoded
    bool piecesOnCaller = false;  // a piece was encoded on the caller's thread
    int callerThread = 0;

    const char16_t* GetExtension() override { return u".rec"; }
    HRESULT EncoderInit(BSTR name) override;
    HRESULT EncodePiece(BYTE* pSamples, DWORD dwBytes) override;
    HRESULT EncoderUninit() override;

    ULONG Bitrate() const { return m_dwBitrate; }

private:
    friend class KAudioEncoder;
    RecordingEncoder() = default;
    plat::File m_file;
    plat::Bstr m_name;
};

// Records the Progress events it receives.
class ProgressLog final : public plat::ComObject<ProgressLog, _IAudioEncoderEvents> {
public:
    HRESULT Progress(UINT n, BSTR path) override;
    std::vector<UINT> Values();
    std::vector<std::u16string> Paths();
    // Connects to the encoder's connection point.
    void Attach(IAudioEncoder* encoder);

private:
    std::mutex m_lock;
    std::vector<UINT> m_values;
    std::vector<std::u16string> m_paths;
};

// Saves [fromMs, toMs) of the encoder's cache as a song with these tags.
struct SongTags {
    std::u16string title, artist, album, genre;
};
HRESULT SaveTagged(IAudioEncoder* encoder, ULONG fromMs, ULONG toMs, const SongTags& tags,
                   const std::u16string& path);

// A constant-level stereo stream of `ms` milliseconds (level 0: silence).
std::vector<BYTE> Tone(ULONG ms, SHORT level);
// Stream bytes of a sequence of (milliseconds, level) parts.
std::vector<BYTE> Parts(std::initializer_list<std::pair<ULONG, SHORT>> parts);

// A real cache in `folder` (created) holding `audio` from its start, written
// to disk; null after a test failure.
plat::ComPtr<ICache> RealCacheWith(const std::u16string& folder, const std::vector<BYTE>& audio);

// A private folder, removed with its content.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // The folder with a trailing "/".
    const std::u16string& Path() const { return m_path; }
    std::u16string operator/(const std::u16string& name) const { return m_path + name; }
    // Names in the folder, hidden ones included, sorted.
    std::vector<std::u16string> Names() const;

private:
    std::u16string m_path;
};

// Interleaved 16-bit stereo as the cache's bytes.
std::vector<BYTE> AsBytes(const std::vector<int16_t>& samples);
// A file decoded to 16-bit mono at its own rate (empty when it does not decode).
std::vector<int16_t> DecodeMono(const std::u16string& path);
// Root mean square of samples [from, from + count).
double Rms(const std::vector<int16_t>& samples, size_t from, size_t count);
uint64_t FileSize(const std::u16string& path);

bool WriteText(const std::u16string& path, const std::string& text);
std::string ReadText(const std::u16string& path);

}  // namespace enctest
