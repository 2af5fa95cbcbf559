#include "service/foundation/KSettingsImpl.h"

#include <ctime>

#include "log/DirUtils.h"
#include "log/Trace.h"
#include "platform/core/Clock.h"
#include "platform/fs/File.h"
#include "service/foundation/ClassFactory.h"
#include "service/foundation/KStgArchive.h"

namespace {

const ser::KClassRegistrar kRegister(u"KSettingsImpl", &ser::CreateSerializable<KSettingsImpl>);

// Win32 ERROR_INVALID_DATA: what a settings file that does not load cleanly is.
constexpr DWORD kErrorInvalidData = 13;

// A refused value: the value is what is wrong, so the call fails with
// E_INVALIDARG (HRESULT_FROM_WIN32 of ERROR_INVALID_PARAMETER).
HRESULT Refused() {
    plat::SetLastError(ERROR_INVALID_PARAMETER);
    return plat::HResultFromLastError();
}

}  // namespace

KSettingsImpl::KSettingsImpl() {
    std::u16string dir = GetAppDataDir().Str();
    m_strCacheDir = dir;
    m_strSettingsFileName = dir + kFileName;
}

void KSettingsImpl::DefineProperties() {
    AddProperty(u"m_strCacheDir", &m_strCacheDir);
    AddProperty(u"m_nBitrateType", &m_nBitrateType);
    AddProperty(u"m_strAudioDevice", &m_strAudioDevice);
    AddProperty(u"m_strCaptureDevice", &m_strCaptureDevice);
    AddProperty(u"m_bLowVolume", &m_bLowVolume);
    AddProperty(u"m_bDeleteSilence", &m_bDeleteSilence);
    AddProperty(u"m_bDropCache", &m_bDropCache);
    AddProperty(u"m_bAutoSplit", &m_bAutoSplit);
    AddProperty(u"m_nMaxSongLength", &m_nMaxSongLength);
    AddProperty(u"m_bInterceptAudio", &m_bInterceptAudio);
    AddProperty(u"m_bPlayLiveRecordDevice", &m_bPlayLiveRecordDevice);
    AddProperty(u"m_bWriteFromPlayDevice", &m_bWriteFromPlayDevice);
    AddProperty(u"m_bWriteFromRecordDevice", &m_bWriteFromRecordDevice);
    AddProperty(u"m_bWriteSilence", &m_bWriteSilence);
    AddProperty(u"m_bShowPlayList", &m_bShowPlayList);
    AddProperty(u"m_bAlwaysOnTop", &m_bAlwaysOnTop);
    AddProperty(u"m_bUpdateRemind", &m_bUpdateRemind);
    AddProperty(u"m_bUpdateRemind2", &m_bUpdateRemind2);
    AddProperty(u"m_bRegistered", &m_bRegistered);
    AddProperty(u"m_dwCacheSize", &m_dwCacheSize);
    AddProperty(u"m_nAudioFormat", &m_nAudioFormat);
    AddProperty(u"m_cUpdateRemind", &m_cUpdateRemind);
    AddProperty(u"m_nCBR", &m_nCBR);
    AddProperty(u"m_nVBRMin", &m_nVBRMin);
    AddProperty(u"m_nVBRMax", &m_nVBRMax);
    AddProperty(u"m_bOpenMain", &m_bOpenMain);
    AddProperty(u"m_cMainRect", &m_cMainRect);
    AddProperty(u"m_bOpenRadio", &m_bOpenRadio);
    AddProperty(u"m_cRadioRect", &m_cRadioRect);
    AddProperty(u"m_bOpenPlayList", &m_bOpenPlayList);
    AddProperty(u"m_cPlayListRect", &m_cPlayListRect);
    AddProperty(u"m_bOpenGuide", &m_bOpenGuide);
    AddProperty(u"m_bStickRadio", &m_bStickRadio);
    AddProperty(u"m_bStickPlayList", &m_bStickPlayList);
}

HRESULT KSettingsImpl::Save() {
    dirUtils::createDirRecursive(GetAppDataDir().Str());  // usually there already
    ser::KStgArchive archive;
    HRESULT hr;
    if (TQ_FAILED(hr, archive.open4write(m_strSettingsFileName, ser::kDataStreamName))) {
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, hr, m_strSettingsFileName);
        return hr;
    }
    bool bSave = save(&archive, ser::kRootName);
    if (bSave) {
        if (TQ_FAILED(hr, archive.close(true))) {
            TQ_REPORT_FORMATTED(EC_SAVE_DATA_FILE, hr, m_strSettingsFileName);
            return hr;
        }
        return S_OK;
    }
    archive.close(false);  // the settings file keeps the last record saved
    TQ_TRACE_BOOL("bSave");
    hr = plat::HResultFromLastError();
    TQ_REPORT_FORMATTED(EC_SAVE_DATA_FILE, 0, m_strSettingsFileName);
    return hr;
}

HRESULT KSettingsImpl::Load() {
    {
        plat::File probe;
        if (!probe.Open(m_strSettingsFileName, plat::FileAccess::Read, plat::FileCreation::OpenExisting,
                        plat::ShareRead)) {
            DWORD err = plat::GetLastError();
            TQ_TRACE_BOOL("FALSE");
            TQ_REPORT_SYSTEM(EC_OPEN_FILE, err, m_strSettingsFileName);
            // The backup copy may still load.
        }
    }
    // A damaged copy must not leave its values behind when the other loads.
    const KSettingsImpl before = *this;
    const ser::SLoadOutcome loaded = ser::KStgArchive::LoadRecord(
        *this, m_strSettingsFileName, ser::kDataStreamName, ser::kRootName, {[&] { *this = before; }, {}});
    if (!loaded.opened) {
        TQ_TRACE_HR("E_FAIL");
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, E_FAIL, m_strSettingsFileName);
        return E_FAIL;
    }
    if (TQ_FALSE(ser::lr_ok == loaded.result)) {
        plat::SetLastError(kErrorInvalidData);
        HRESULT hr = plat::HResultFromLastError();
        TQ_REPORT_FORMATTED(EC_OPEN_DATA_FILE, 0, m_strSettingsFileName);
        return hr;
    }
    return S_OK;
}

HRESULT KSettingsImpl::SetAudioFormat(UINT nFormat) {
    if (TQ_FALSE(nFormat == FMT_MP3 || nFormat == FMT_OGG || nFormat == FMT_WMA || nFormat == FMT_AAC)) {
        HRESULT hr = Refused();
        TQ_REPORT(EC_INTERNAL, hr, u"Invalid type of audio format bitrate");
        return hr;
    }
    m_nAudioFormat = nFormat;
    return S_OK;
}

HRESULT KSettingsImpl::SetCBR(UINT nCBR) {
    if (TQ_FALSE(nCBR == 64 || nCBR == 96 || nCBR == 128 || nCBR == 192 || nCBR == 256 || nCBR == 320)) {
        HRESULT hr = Refused();
        TQ_REPORT(EC_INTERNAL, hr, u"Invalid value of constant bitrate");
        return hr;
    }
    m_nCBR = nCBR;
    return S_OK;
}

HRESULT KSettingsImpl::SetVBR(UINT nVBRMin, UINT nVBRMax) {
    if (TQ_FALSE(nVBRMin == 64 || nVBRMin == 96 || nVBRMin == 128 || nVBRMin == 192 || nVBRMin == 256 ||
                 nVBRMin == 320) ||
        TQ_FALSE(nVBRMax == 64 || nVBRMax == 96 || nVBRMax == 128 || nVBRMax == 192 || nVBRMax == 256 ||
                 nVBRMax == 320)) {
        HRESULT hr = Refused();
        TQ_REPORT(EC_INTERNAL, hr, u"Invalid value of variable bitrate");
        return hr;
    }
    if (TQ_FALSE(nVBRMax >= nVBRMin)) {
        HRESULT hr = Refused();
        TQ_REPORT(EC_INTERNAL, hr, u"Invalid values of variable bitrate");
        return hr;
    }
    m_nVBRMin = nVBRMin;
    m_nVBRMax = nVBRMax;
    return S_OK;
}

HRESULT KSettingsImpl::SetBitrateType(UINT nBitrateType) {
    if (TQ_FALSE(nBitrateType == BT_CBR || nBitrateType == BT_VBR)) {
        HRESULT hr = Refused();
        TQ_REPORT(EC_INTERNAL, hr, u"Invalid type of bitrate");
        return hr;
    }
    m_nBitrateType = nBitrateType;
    return S_OK;
}

HRESULT KSettingsImpl::SetRemindUpdatePeriod(ULONG dwPeriod) {
    // The day count is a signed number: one that would be negative is no
    // period, and must not turn into a date thousands of years ahead.
    const int32_t days = static_cast<int32_t>(dwPeriod);
    if (TQ_FALSE(days >= 0)) {
        HRESULT hr = Refused();
        TQ_REPORT(EC_INTERNAL, hr, u"Invalid period of update reminder");
        return hr;
    }
    // In 64 bits, so that no day count wraps into the past.
    std::time_t due = static_cast<std::time_t>(plat::UnixTimeNow() + static_cast<int64_t>(days) * 86400);
    std::tm local{};
    if (!localtime_r(&due, &local)) {
        TQ_TRACE_HR("E_FAIL");
        TQ_REPORT(EC_INTERNAL, E_FAIL, u"Invalid period of update reminder");
        return E_FAIL;
    }
    local.tm_hour = 0;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1;  // daylight saving time as the system decides
    std::time_t midnight = std::mktime(&local);
    if (midnight == static_cast<std::time_t>(-1)) {
        TQ_TRACE_HR("E_INVALIDARG");
        TQ_REPORT(EC_INTERNAL, E_INVALIDARG, u"Invalid period of update reminder");
        return E_INVALIDARG;
    }
    m_cUpdateRemind = static_cast<int64_t>(midnight);
    return S_OK;
}

HRESULT KSettingsImpl::SetCacheDir(BSTR bstrDir) {
    TQ_CHECK_POINTER(bstrDir);
    std::u16string dir = plat::BstrToU16(bstrDir);
    // An empty folder would put the cache beside the working folder.
    if (TQ_FALSE(!dir.empty())) {
        HRESULT hr = Refused();
        TQ_REPORT(EC_INTERNAL, hr, u"Invalid cache folder");
        return hr;
    }
    m_strCacheDir = plat::WithTrailingSeparator(dir);
    return S_OK;
}

HRESULT KSettingsImpl::SetAudioDevice(BSTR bstrDevice) {
    TQ_CHECK_POINTER(bstrDevice);
    m_strAudioDevice = plat::BstrToU16(bstrDevice);
    return S_OK;
}

HRESULT KSettingsImpl::SetCaptureDevice(BSTR bstrDevice) {
    TQ_CHECK_POINTER(bstrDevice);
    m_strCaptureDevice = plat::BstrToU16(bstrDevice);
    return S_OK;
}

LONG KSettingsImpl::RemindUpdateStatus() const {
    return (m_bUpdateRemind2 && plat::UnixTimeNow() >= m_cUpdateRemind) ? 1 : 0;
}
