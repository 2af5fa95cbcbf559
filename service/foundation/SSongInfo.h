#pragma once
// The stored record of one song of the playlist: its borders, defined flag
// and tag fields.
#include <string>

#include "platform/core/WinTypes.h"
#include "service/foundation/KSerializable.h"

class SSongInfo : public ser::KSerializable {
public:
    void DefineProperties() override;
    std::u16string GetClassName() const override { return u"SSongInfo"; }

    ULONG dwLeftBorder = 0;   // milliseconds
    ULONG dwRightBorder = 0;  // milliseconds
    UINT nTrack = 0;
    std::u16string strArtist;
    std::u16string strTitle;
    std::u16string strAlbum;
    UINT nYear = 0;
    std::u16string strGenre;
    INT bDefined = 0;
};

std::unique_ptr<ser::KSerializable> CreateSSongInfo();
