#pragma once
// One run of a cache buffer's timeline as the index file stores it: a stretch
// of silence (its length in bytes) or a run of consecutive data files (their
// count).
#include <string>

#include "platform/core/WinTypes.h"
#include "service/foundation/KSerializable.h"

class SGroupFile : public ser::KSerializable {
public:
    SGroupFile() = default;
    SGroupFile(BOOL virtualGroup, ULONGLONG size) : bVirtual(virtualGroup), nSize(size) {}

    void DefineProperties() override;
    std::u16string GetClassName() const override;

    BOOL bVirtual = FALSE;
    ULONGLONG nSize = 0;
};
