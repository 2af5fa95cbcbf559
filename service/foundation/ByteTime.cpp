#include "service/foundation/ByteTime.h"

#include <cstdint>

ULONGLONG BytesToMilliseconds(ULONGLONG bytes, DWORD rate) {
    if (rate == 0) return 0;  // no stream rate, no duration
    double hundredNs = static_cast<double>(bytes) / static_cast<double>(rate) * 10000000.0;
    // Beyond the 64-bit range the conversion itself would be undefined.
    auto units = hundredNs >= 9.2e18 ? INT64_MAX : static_cast<int64_t>(hundredNs);
    return static_cast<uint64_t>(units) / 10000u;
}

LONGLONG MillisecondsToBytes(DWORD milliseconds, DWORD rate) {
    int64_t units = static_cast<int64_t>(milliseconds) * 10000;
    double bytes = static_cast<double>(units) / 10000000.0 * static_cast<double>(rate);
    return static_cast<LONGLONG>(bytes);
}
