#include "service/encoders/KPathParts.h"

#include "platform/fs/File.h"

BOOL KPathParts::Parse(std::u16string path) {
    m_strPath = std::move(path);
    m_nRootStart = m_nRootLength = m_nDirStart = m_nDirLength = 0;
    m_nNameStart = m_nNameLength = m_nExtStart = m_nExtLength = 0;
    if (m_strPath.empty()) return FALSE;
    const auto size = static_cast<int32_t>(m_strPath.size());

    const size_t first = m_strPath.find(plat::kPathSeparator);
    if (first == std::u16string::npos) {
        m_nRootLength = size;
        return TRUE;
    }
    m_nRootLength = static_cast<int32_t>(first);
    // A path that begins with two separators keeps both in its folder, so
    // that the parts rebuild it.
    m_nDirStart = static_cast<int32_t>(first);
    const auto last = static_cast<int32_t>(m_strPath.rfind(plat::kPathSeparator));
    m_nDirLength = last + 1 - m_nDirStart;
    m_nNameStart = last + 1;

    const size_t dot = m_strPath.rfind(u'.');
    if (dot == std::u16string::npos || static_cast<int32_t>(dot) <= m_nNameStart) {
        m_nNameLength = size - m_nNameStart;
        return TRUE;
    }
    m_nNameLength = static_cast<int32_t>(dot) - m_nNameStart;
    m_nExtStart = static_cast<int32_t>(dot);
    m_nExtLength = size - m_nExtStart;
    return TRUE;
}

std::u16string KPathParts::Part(int32_t start, int32_t length) const {
    if (length <= 0 || start < 0 || static_cast<size_t>(start) >= m_strPath.size()) return {};
    return m_strPath.substr(static_cast<size_t>(start), static_cast<size_t>(length));
}
