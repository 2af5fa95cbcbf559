#include "service/encoders/KAudioEncoder.h"

#include <climits>
#include <new>

#include "log/Trace.h"
#include "platform/core/Text.h"
#include "platform/core/Thread.h"
#include "service/audio/KSoundHelper.h"
#include "service/encoders/KPathParts.h"
#include "service/encoders/KSaveFile.h"

namespace {

// Longest file name and path the file system takes, in bytes.
constexpr size_t kMaxNameBytes = NAME_MAX;
constexpr size_t kMaxPathBytes = PATH_MAX - 1;
// Room left in a title for a number and an extension.
constexpr size_t kTitleBytes = kMaxNameBytes - 40;
// How many numbered names are tried before giving up.
constexpr int kMaxNumber = 100000;

size_t Utf8Length(const std::u16string& text) { return plat::ToUtf8(text).size(); }

// The percentage shown after piece i of n: rounded, and below 100 until the
// file is complete.
UINT PieceProgress(ULONGLONG i, ULONGLONG n) {
    ULONGLONG p = (100 * i) / n;
    if ((100 * i) % n >= n / 2) ++p;
    return static_cast<UINT>(p > 99 ? 99 : p);
}

}  // namespace

KAudioEncoder::KAudioEncoder() = default;

KAudioEncoder::~KAudioEncoder() { m_progress.UnadviseAll(); }

// ---------------------------------------------------------------- options

HRESULT KAudioEncoder::StopSave() {
    m_bStopSave = true;
    m_stopEvent.Set();
    return S_OK;
}

HRESULT KAudioEncoder::SetConstantBitrate(ULONG dwBitrate) {
    m_dwBitrate = dwBitrate;
    m_bConstantBitrate = TRUE;
    return S_OK;
}

HRESULT KAudioEncoder::SetMinMaxBitrates(ULONG dwMinBitrate, ULONG dwMaxBitrate) {
    m_dwMinBitrate = dwMinBitrate;
    m_dwMaxBitrate = dwMaxBitrate;
    m_bConstantBitrate = FALSE;
    return S_OK;
}

HRESULT KAudioEncoder::DeleteSilenceStartEnd(LONG bYes) {
    m_bDeleteSilence = bYes;
    return S_OK;
}

HRESULT KAudioEncoder::LowVolumeStartEnd(LONG bYes) {
    m_bLowVolume = bYes;
    return S_OK;
}

HRESULT KAudioEncoder::SetCachePtr(ICache* pCache) {
    TQ_CHECK_POINTER(pCache);
    std::lock_guard<std::mutex> guard(m_cacheLock);
    if (m_pCache.Get() != pCache) m_pCache = pCache;
    return S_OK;
}

HRESULT KAudioEncoder::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (riid != DIID__IAudioEncoderEvents) return CONNECT_E_NOCONNECTION;
    *ppCP = &m_progress;
    m_progress.AddRef();
    return S_OK;
}

// ---------------------------------------------------------------- helpers for the formats

HRESULT KAudioEncoder::OpenOutputFile(BSTR bstrFileName, plat::File* file) const {
    const std::u16string name = plat::BstrToU16(bstrFileName);
    if (TQ_FALSE(file->Open(name, plat::FileAccess::Write, plat::FileCreation::OpenExisting, plat::ShareRead))) {
        const DWORD error = plat::GetLastError();
        TQ_REPORT_SYSTEM(EC_CREATE_FILE, error, ReportName(bstrFileName));
        return plat::HResultFromError(error);
    }
    return S_OK;
}

HRESULT KAudioEncoder::WriteOutput(plat::File& file, const void* data, DWORD bytes, BSTR bstrFileName) const {
    if (bytes == 0) return S_OK;
    if (TQ_FALSE(file.Write(data, bytes, nullptr))) {
        const DWORD error = plat::GetLastError();
        TQ_REPORT_SYSTEM(EC_WRITE_FILE, error, ReportName(bstrFileName));
        return plat::HResultFromError(error);
    }
    return S_OK;
}

HRESULT KAudioEncoder::CloseOutputFile(plat::File& file, BSTR bstrFileName, HRESULT result) const {
    if (SUCCEEDED(result) && file.IsOpen() && TQ_FALSE(file.Flush())) {
        const DWORD error = plat::GetLastError();
        TQ_REPORT_SYSTEM(EC_WRITE_FILE, error, ReportName(bstrFileName));
        result = plat::HResultFromError(error);
    }
    file.Close();
    return result;
}

std::u16string KAudioEncoder::ReportName(BSTR bstrFileName) const {
    return m_strSaveName.empty() ? plat::BstrToU16(bstrFileName) : m_strSaveName;
}

void KAudioEncoder::ReportRefusal(BSTR bstrFileName, const char16_t* reason) const {
    TQ_REPORT_SYSTEM(EC_CREATE_FILE, ERROR_INVALID_PARAMETER, ReportName(bstrFileName) + u"\r\n" + reason);
}

const char16_t* KAudioEncoder::RateRefusal() const {
    const bool unset = m_bConstantBitrate ? m_dwBitrate == 0 : m_dwMinBitrate == 0 && m_dwMaxBitrate == 0;
    return unset ? u"No bit rate was set" : u"The bit rate is not one this format can make";
}

std::u16string KAudioEncoder::SafeFileName(const std::u16string& title) {
    std::u16string name;
    name.reserve(title.size() + 1);
    for (char16_t c : title) name += (c == u'/' || c < 0x20 || c == 0x7F) ? u'_' : c;
    if (name.empty() || name == u"." || name == u"..") return kUntitled;
    // A leading dot would hide the file from the user: a mark in front keeps
    // the dot in sight.
    if (name.front() == u'.') name.insert(name.begin(), u'_');
    // One cut at the last character border within the room (a surrogate pair
    // is one character; a lone surrogate becomes a 3-byte replacement).
    size_t bytes = 0, keep = 0;
    for (size_t i = 0; i < name.size(); keep = i) {
        const char16_t c = name[i];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
                          name[i + 1] <= 0xDFFF;
        const size_t width = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (bytes + width > kTitleBytes) break;
        bytes += width;
        i += pair ? 2 : 1;
    }
    name.resize(keep);
    return name;
}

// ---------------------------------------------------------------- saving

template <class Job>
HRESULT KAudioEncoder::RunSave(Job&& job) {
    if (m_bSaving.exchange(true)) {
        TQ_TRACE_HR("ERROR_BUSY");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Another save of this encoder is running");
        return plat::HResultFromError(ERROR_BUSY);
    }
    m_bStopSave = false;
    m_stopEvent.ResetEvent();
    // Encoding is heavy and may take long: a thread of its own at a lower
    // priority, so recording and replay keep the processor they need.
    HRESULT hr = E_FAIL;
    {
        plat::Thread worker;
        worker.SetPriority(plat::ThreadPriority::Lowest);
        if (TQ_FALSE(worker.Start([&]() -> HRESULT { return job(); }, "encoder-save"))) {
            hr = plat::HResultFromLastError();
        } else {
            worker.Join();
            hr = worker.ExitCode();
        }
    }
    m_bSaving = false;
    return hr;
}

HRESULT KAudioEncoder::Save(ISong* pSong, BSTR bstrFileName) {
    TQ_CHECK_POINTER(pSong);
    plat::ComPtr<ISong> song(pSong);
    const std::u16string requested = plat::BstrToU16(bstrFileName);
    return RunSave([&] { return SaveSong(song.Get(), requested); });
}

HRESULT KAudioEncoder::SaveGroup(VARIANT varSongs, BSTR bstrDirPath) {
    const std::u16string dir = plat::BstrToU16(bstrDirPath);
    if (dir.empty()) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"No folder to save the songs in");
        return E_INVALIDARG;
    }
    if (varSongs.vt != (VT_ARRAY | VT_UNKNOWN) || !varSongs.parray || SafeArrayGetDim(varSongs.parray) != 1) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"Getting song from song group for encoding was failed");
        return E_INVALIDARG;
    }
    std::vector<IUnknown*> raw;
    HRESULT hr;
    if (TQ_FAILED(hr, plat::ReadUnknownArray(varSongs, &raw))) return hr;
    std::vector<plat::ComPtr<IUnknown>> items;
    for (IUnknown* p : raw) {
        plat::ComPtr<IUnknown> item;
        item.Attach(p);
        items.push_back(std::move(item));
    }
    const std::u16string folder = plat::WithTrailingSeparator(dir);

    return RunSave([&]() -> HRESULT {
        HRESULT first = S_OK;
        for (auto& item : items) {
            // A stop between two songs ends the group; a song that failed
            // before it still makes the group fail.
            if (StopRequested()) return first;
            plat::ComPtr<ISong> song;
            HRESULT h;
            if (!item || FAILED(h = item->QueryInterface(IID_ISong, reinterpret_cast<void**>(song.GetAddressOf()))) ||
                !song) {
                TQ_TRACE_HR("QueryInterface(IID_ISong)");
                TQ_REPORT(EC_INTERNAL, E_FAIL, u"Getting song from song group for encoding was failed");
                return E_FAIL;
            }
            plat::ComPtr<ID3> tag;
            if (TQ_FAILED(h, song->GetID3Tag(tag.GetAddressOf()))) return h;
            if (!tag) return E_POINTER;
            plat::Bstr title;
            tag->GetTitle(title.Out());
            std::u16string name = SafeFileName(title.Str());
            // A title is a name, never a file name of another format: "Vol. 2"
            // is saved as "Vol. 2.mp3".
            KPathParts parts(folder + name);
            if (parts.GetExtension() != GetExtension()) name += GetExtension();
            // A failed song does not stop the group; the first failure is
            // the group's answer.
            h = SaveSong(song.Get(), folder + name);
            if (FAILED(h) && SUCCEEDED(first)) first = h;
        }
        return first;
    });
}

HRESULT KAudioEncoder::ReadTag(ISong* pSong) {
    HRESULT hr;
    plat::ComPtr<ID3> tag;
    if (TQ_FAILED(hr, pSong->GetID3Tag(tag.GetAddressOf()))) return hr;
    if (!tag) return E_POINTER;
    m_nTrack = 0;
    m_nYear = 0;
    tag->GetTrackNumber(&m_nTrack);
    tag->GetYear(&m_nYear);
    tag->GetArtist(m_bstrArtist.Out());
    tag->GetTitle(m_bstrTitle.Out());
    tag->GetAlbum(m_bstrAlbum.Out());
    tag->GetGenre(m_bstrGenre.Out());
    return S_OK;
}

HRESULT KAudioEncoder::GetStretch(ISong* pSong, ICache* pCache, ULONGLONG* left, ULONGLONG* right) {
    HRESULT hr;
    ULONG msLeft = 0, msRight = 0;
    if (TQ_FAILED(hr, pSong->GetBorders(&msLeft, &msRight))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Getting borders of the song was failed");
        return hr;
    }
    if (msRight < msLeft) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"Getting borders of the song was failed");
        return E_INVALIDARG;
    }
    *left = ULONGLONG{msLeft} * kBytesPerMs;
    *right = ULONGLONG{msRight} * kBytesPerMs;
    ULONGLONG start = 0, end = 0;
    if (TQ_FAILED(hr, pCache->GetStartReadPos(&start)) || TQ_FAILED(hr, pCache->GetWritePos(&end))) {
        TQ_REPORT(EC_INTERNAL, hr, u"Reading piece of data from cache was failed");
        return hr;
    }
    if (*left < start || *right > end) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"The song is no longer in the cache");
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT KAudioEncoder::SaveSong(ISong* pSong, const std::u16string& requested) {
    HRESULT hr;
    plat::ComPtr<ICache> cache;
    {
        std::lock_guard<std::mutex> guard(m_cacheLock);
        cache = m_pCache;
    }
    if (!cache) {
        TQ_TRACE_HR("E_POINTER");
        TQ_REPORT(EC_INTERNAL, E_POINTER, u"Invalid pointer");
        return E_POINTER;
    }
    if (FAILED(hr = ReadTag(pSong))) return hr;

    // The name: absolute, a folder that exists, an extension.
    if (requested.empty() || requested.front() != plat::kPathSeparator ||
        requested.find(u'\0') != std::u16string::npos || requested.back() == plat::kPathSeparator) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT_SYSTEM(EC_CREATE_FILE, ERROR_INVALID_NAME, requested);
        return E_INVALIDARG;
    }
    std::u16string wanted = requested;
    if (KPathParts(wanted).GetExtension().empty()) wanted += GetExtension();
    const KPathParts parts(wanted);
    const std::u16string folder = parts.GetRoot() + parts.GetDir();
    if (Utf8Length(wanted) > kMaxPathBytes || Utf8Length(parts.GetName() + parts.GetExtension()) > kMaxNameBytes) {
        TQ_TRACE_HR("ERROR_FILENAME_EXCED_RANGE");
        TQ_REPORT_SYSTEM(EC_CREATE_FILE, ERROR_FILENAME_EXCED_RANGE, requested);
        return plat::HResultFromError(ERROR_FILENAME_EXCED_RANGE);
    }
    if (TQ_FALSE(plat::IsDirectory(folder))) {
        TQ_REPORT_SYSTEM(EC_CREATE_FILE, ERROR_PATH_NOT_FOUND, requested);
        return plat::HResultFromError(ERROR_PATH_NOT_FOUND);
    }

    ULONGLONG left = 0, right = 0;
    if (FAILED(hr = GetStretch(pSong, cache.Get(), &left, &right))) return hr;

    // The name shown while saving: the first free one now; the rename at the
    // end numbers on if it has been taken meanwhile.
    std::u16string shown = wanted;
    for (int n = 0; plat::EntryExists(shown) && n <= kMaxNumber; ++n)
        shown = folder + parts.GetName() + plat::ToUtf16(std::to_string(n)) + parts.GetExtension();

    KSaveFile file;
    if (TQ_FAILED(hr, file.Create(folder))) {
        TQ_REPORT_SYSTEM(EC_CREATE_FILE, HRESULT_CODE(hr), wanted);
        return hr;
    }
    plat::Bstr fileName(file.Path());
    if (fileName.IsNull()) return E_OUTOFMEMORY;
    // What the format reports names the file the user will see, not the
    // path it writes through.
    m_strSaveName = shown;
    struct Forget {
        std::u16string& name;
        ~Forget() { name.clear(); }
    } forget{m_strSaveName};

    m_dwPieceSizeInBytes = 0;
    if (TQ_FAILED(hr, EncoderInit(fileName))) return hr;
    HRESULT loop = S_OK;
    if (m_dwPieceSizeInBytes == 0 || m_dwPieceSizeInBytes % 4 != 0) {
        TQ_TRACE_HR("E_UNEXPECTED");
        loop = E_UNEXPECTED;
    }
    if (SUCCEEDED(loop) && m_bDeleteSilence) {
        SoundProcessing::KSoundHelper helper;
        auto l = static_cast<LONGLONG>(left), r = static_cast<LONGLONG>(right);
        if (TQ_FAILED(loop, helper.DeleteSilence(cache.Get(), &l, &r))) {
            TQ_REPORT(EC_INTERNAL, loop, u"Deleting silence was failed");
        } else {
            left = static_cast<ULONGLONG>(l);
            right = static_cast<ULONGLONG>(r);
        }
    }
    if (SUCCEEDED(loop)) loop = EncodeStretch(cache.Get(), left, right, shown);
    // Always once after a successful EncoderInit; a failure here is a
    // damaged file.
    const HRESULT uninit = EncoderUninit();
    if (FAILED(uninit)) TQ_TRACE_HR("EncoderUninit()");
    if (FAILED(loop)) return loop;
    if (loop == S_FALSE) return S_OK;  // stopped: nothing is kept
    if (FAILED(uninit)) return uninit;

    // The song is whole on the disk before it gets its name, and the name is
    // there too before the save ends: a crash never leaves an empty song.
    if (TQ_FALSE(file.Sync())) {
        const DWORD error = plat::GetLastError();
        TQ_REPORT_SYSTEM(EC_WRITE_FILE, error, shown);
        return plat::HResultFromError(error);
    }
    std::u16string finalName;
    if (FAILED(hr = Publish(file, wanted, &finalName))) return hr;
    plat::FlushFolderOf(finalName);
    m_progress.Fire_Progress(100, requested);
    return S_OK;
}

HRESULT KAudioEncoder::EncodeStretch(ICache* pCache, ULONGLONG left, ULONGLONG right, const std::u16string& shownPath) {
    HRESULT hr;
    const DWORD pieceSize = m_dwPieceSizeInBytes;
    const ULONGLONG length = right > left ? right - left : 0;
    if (length == 0) return S_OK;
    const ULONGLONG pieces = (length + pieceSize - 1) / pieceSize;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[pieceSize]);
    if (!buffer) return E_OUTOFMEMORY;

    // The rise over the first two seconds; the fall over the last two, so
    // that the last sample is silent. A stretch under two seconds only rises.
    const bool ramps = m_bLowVolume != FALSE;
    SoundProcessing::KSoundHelper rise, fall;
    const ULONGLONG fallStart = length >= kRampBytes ? length - kRampBytes : length;
    if (ramps) {
        if (TQ_FAILED(hr, rise.SetLowRaiseVolumeParams(dwLowRaiseSec, FALSE)) ||
            TQ_FAILED(hr, fall.SetLowRaiseVolumeParams(dwLowRaiseSec, TRUE))) {
            TQ_REPORT(EC_INTERNAL, hr, u"Set time for raise/low volume was failed");
            return hr;
        }
    }

    UINT lastShown = UINT_MAX;
    for (ULONGLONG i = 0; i < pieces; ++i) {
        if (StopRequested()) return S_FALSE;
        const ULONGLONG offset = i * pieceSize;
        const auto bytes = static_cast<DWORD>(std::min<ULONGLONG>(pieceSize, length - offset));
        hr = pCache->ReadFixedPos(left + offset, bytes, buffer.get());
        if (hr != S_OK) {
            TQ_TRACE_HR("ReadFixedPos");
            if (SUCCEEDED(hr)) hr = E_FAIL;
            TQ_REPORT(EC_INTERNAL, hr, u"Reading piece of data from cache was failed");
            return hr;
        }
        if (ramps) {
            auto* samples = reinterpret_cast<SHORT*>(buffer.get());
            if (offset < kRampBytes) {
                const auto n = static_cast<DWORD>(std::min<ULONGLONG>(bytes, kRampBytes - offset));
                if (TQ_FAILED(hr, rise.LowRaiseVolume(samples, n / 2))) {
                    TQ_REPORT(EC_INTERNAL, hr, u"Raise volume in ACC sample was failed");
                    return hr;
                }
            }
            if (offset + bytes > fallStart) {
                const ULONGLONG from = fallStart > offset ? fallStart - offset : 0;
                if (TQ_FAILED(hr, fall.LowRaiseVolume(samples + from / 2, static_cast<DWORD>((bytes - from) / 2)))) {
                    TQ_REPORT(EC_INTERNAL, hr, u"Low volume in ACC sample was failed");
                    return hr;
                }
            }
        }
        if (TQ_FAILED(hr, EncodePiece(buffer.get(), bytes))) return hr;
        const UINT shown = PieceProgress(i, pieces);
        if (shown != lastShown) {
            m_progress.Fire_Progress(shown, shownPath);
            lastShown = shown;
        }
        if (const DWORD pause = m_dwPiecePauseMs; pause > 0) m_stopEvent.Wait(pause);
    }
    return S_OK;
}

HRESULT KAudioEncoder::Publish(KSaveFile& file, const std::u16string& wanted, std::u16string* finalName) {
    const KPathParts parts(wanted);
    const std::u16string base = parts.GetRoot() + parts.GetDir() + parts.GetName();
    std::u16string name = wanted;
    for (int n = 0; n <= kMaxNumber; ++n) {
        if (file.Name(name)) {
            *finalName = name;
            return S_OK;
        }
        const DWORD error = plat::GetLastError();
        if (error != ERROR_FILE_EXISTS) {
            TQ_TRACE_BOOL("KSaveFile::Name");
            TQ_REPORT_SYSTEM(EC_CREATE_FILE, error, wanted);
            return plat::HResultFromError(error);
        }
        name = base + plat::ToUtf16(std::to_string(n)) + parts.GetExtension();
    }
    TQ_REPORT_SYSTEM(EC_CREATE_FILE, ERROR_FILE_EXISTS, wanted);
    return plat::HResultFromError(ERROR_FILE_EXISTS);
}
