#include "desktop/controls/CWideString.h"

#include "platform/core/Text.h"

std::string CWideString::Narrow() const { return plat::ToUtf8(m_text); }
