#pragma once
// Splits a full file path into four consecutive parts: root (everything
// before the first separator), folder (from the first separator through the
// last one), name and extension (from the name's last dot, when that dot is
// not the name's first character). The four parts always give back the path.
//
//   /music/Song.mp3   ""  "/music/"  "Song"  ".mp3"
//   Song.mp3          "Song.mp3" (no separator: all root)
#include <string>

#include "platform/core/WinTypes.h"

class KPathParts {
public:
    KPathParts() = default;
    explicit KPathParts(std::u16string path) { Parse(std::move(path)); }

    // FALSE (every part empty) for an empty path.
    BOOL Parse(std::u16string path);

    std::u16string GetRoot() const { return Part(m_nRootStart, m_nRootLength); }
    std::u16string GetDir() const { return Part(m_nDirStart, m_nDirLength); }
    std::u16string GetName() const { return Part(m_nNameStart, m_nNameLength); }
    std::u16string GetExtension() const { return Part(m_nExtStart, m_nExtLength); }

private:
    std::u16string Part(int32_t start, int32_t length) const;

    std::u16string m_strPath;
    int32_t m_nRootStart = 0, m_nRootLength = 0;
    int32_t m_nDirStart = 0, m_nDirLength = 0;
    int32_t m_nNameStart = 0, m_nNameLength = 0;
    int32_t m_nExtStart = 0, m_nExtLength = 0;
};
