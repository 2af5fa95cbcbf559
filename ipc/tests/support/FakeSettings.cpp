#include "ipc/tests/support/FakeSettings.h"

#include <algorithm>
#include <ctime>

#include "log/DirUtils.h"
#include "platform/com/Bstr.h"
#include "platform/core/Clock.h"
#include "platform/fs/File.h"

namespace ipctest {

namespace {

bool IsBitrate(UINT kbps) {
    static constexpr UINT kRates[] = {64, 96, 128, 192, 256, 320};
    return std::find(std::begin(kRates), std::end(kRates), kbps) != std::end(kRates);
}

}  // namespace

FakeSettings::FakeSettings() { m_record.cacheDir = GetAppDataDir().Str(); }

FakeSettings::Record FakeSettings::Snapshot() {
    std::lock_guard lock(m_mutex);
    return m_record;
}

HRESULT FakeSettings::SaveSettings() {
    std::lock_guard lock(m_mutex);
    m_saved = m_record;
    return S_OK;
}

HRESULT FakeSettings::LoadSettings() {
    std::lock_guard lock(m_mutex);
    if (!m_saved) return E_FAIL;
    m_record = *m_saved;
    return S_OK;
}

HRESULT FakeSettings::SetAudioFormat(UINT nFormat) {
    // MP3, OGG, WMA and AAC; the two values between WMA and AAC are the bitrate types.
    if (nFormat != 0x3D3A2 && nFormat != 0x3D3A3 && nFormat != 0x3D3A4 && nFormat != 0x3D3A7) return E_INVALIDARG;
    return Write(&Record::audioFormat, nFormat);
}

HRESULT FakeSettings::SetCBR(UINT nCBR) { return IsBitrate(nCBR) ? Write(&Record::cbr, nCBR) : E_INVALIDARG; }

HRESULT FakeSettings::GetVBR(UINT* pVBRMin, UINT* pVBRMax) {
    if (!pVBRMin || !pVBRMax) return E_POINTER;
    std::lock_guard lock(m_mutex);
    *pVBRMin = m_record.vbrMin;
    *pVBRMax = m_record.vbrMax;
    return S_OK;
}

HRESULT FakeSettings::SetVBR(UINT nVBRMin, UINT nVBRMax) {
    if (!IsBitrate(nVBRMin) || !IsBitrate(nVBRMax) || nVBRMax < nVBRMin) return E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    m_record.vbrMin = nVBRMin;
    m_record.vbrMax = nVBRMax;
    return S_OK;
}

HRESULT FakeSettings::SetBitrateType(UINT nBitrateType) {
    if (nBitrateType != 0x3D3A5 && nBitrateType != 0x3D3A6) return E_INVALIDARG;
    return Write(&Record::bitrateType, nBitrateType);
}

HRESULT FakeSettings::SetCacheDir(BSTR bstrDir) {
    if (!bstrDir) return E_POINTER;
    const std::u16string dir = plat::BstrToU16(bstrDir);
    if (dir.empty()) return E_INVALIDARG;
    return Write(&Record::cacheDir, plat::WithTrailingSeparator(dir));
}

HRESULT FakeSettings::GetRemindUpdateStatus(LONG* pbYes) {
    if (!pbYes) return E_POINTER;
    std::lock_guard lock(m_mutex);
    *pbYes = (m_record.remindUpdate && plat::UnixTimeNow() >= m_record.remindDue) ? 1 : 0;
    return S_OK;
}

HRESULT FakeSettings::SetRemindUpdatePeriod(ULONG dwPeriod) {
    const int32_t days = static_cast<int32_t>(dwPeriod);
    if (days < 0) return E_INVALIDARG;
    std::time_t day = static_cast<std::time_t>(plat::UnixTimeNow() + int64_t{days} * 86400);
    std::tm local{};
    if (!localtime_r(&day, &local)) return E_FAIL;
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    const std::time_t midnight = std::mktime(&local);
    if (midnight == static_cast<std::time_t>(-1)) return E_INVALIDARG;
    return Write(&Record::remindDue, int64_t{midnight});
}

HRESULT FakeSettings::ReadRect(Rect Record::*field, LONG* left, LONG* top, LONG* right, LONG* bottom) {
    if (!left || !top || !right || !bottom) return E_POINTER;
    std::lock_guard lock(m_mutex);
    const Rect& r = m_record.*field;
    *left = r[0];
    *top = r[1];
    *right = r[2];
    *bottom = r[3];
    return S_OK;
}

HRESULT FakeSettings::ReadText(BSTR* out, std::u16string Record::*field) {
    if (!out) return E_POINTER;
    BSTR copy;
    {
        std::lock_guard lock(m_mutex);
        copy = plat::BstrFromU16(m_record.*field);
    }
    if (!copy) return E_OUTOFMEMORY;
    *out = copy;
    return S_OK;
}

HRESULT FakeSettings::WriteText(std::u16string Record::*field, BSTR value) {
    if (!value) return E_POINTER;
    return Write(field, plat::BstrToU16(value));
}

}  // namespace ipctest
