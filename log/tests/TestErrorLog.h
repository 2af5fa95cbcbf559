#pragma once
// The process's error log written to a private folder for one test, and read
// back: Text() is the ASCII of its UTF-16 text so far.
#include <fstream>
#include <iterator>
#include <string>

#include "log/KErrorLog.h"
#include "platform/fs/tests/TempDir.h"

namespace testutil {

class TestErrorLog {
public:
    TestErrorLog() : m_open(!m_dir.Path().empty() && KErrorLog::Instance().OpenLogFile(m_dir / u"log.log")) {}
    bool IsOpen() const { return m_open; }
    std::string Text() const {
        std::ifstream in(plat::ToUtf8(m_dir / u"log.log"), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string log;
        for (size_t i = 0; i < bytes.size(); i += 2) log.push_back(bytes[i]);
        return log;
    }
    // How often what occurs in the text.
    size_t Count(const std::string& what) const {
        const std::string log = Text();
        size_t n = 0;
        for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
        return n;
    }

private:
    TempDir m_dir;
    bool m_open;
};

}  // namespace testutil
