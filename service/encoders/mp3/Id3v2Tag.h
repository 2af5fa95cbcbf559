#pragma once
// An ID3v2.3 tag with the text frames TIT2 (title), TPE1 (artist), TALB
// (album) and TCON (genre), in UTF-16 with a byte-order mark. Empty fields
// get no frame; with no field at all there is no tag (an empty result).
#include <string>
#include <vector>

#include "platform/core/WinTypes.h"

std::vector<BYTE> BuildId3v23Tag(const std::u16string& title, const std::u16string& artist,
                                 const std::u16string& album, const std::u16string& genre);
