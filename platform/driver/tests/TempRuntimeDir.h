#pragma once
// A private runtime folder for one test, so that device sockets and section
// names never meet those of tests running in parallel.
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/driver/ObjectNames.h"

class TempRuntimeDir {
public:
    TempRuntimeDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tqdrv.XXXXXX";
        if (pattern.size() > 80) pattern = "/tmp/tqdrv.XXXXXX";
        if (char* made = ::mkdtemp(pattern.data())) m_dir = made;
        plat::drv::SetRuntimeDir(m_dir);
    }
    ~TempRuntimeDir() {
        plat::drv::SetRuntimeDir(std::string());
        std::error_code ec;
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ec);
    }
    TempRuntimeDir(const TempRuntimeDir&) = delete;
    TempRuntimeDir& operator=(const TempRuntimeDir&) = delete;
    const std::string& Path() const { return m_dir; }

private:
    std::string m_dir;
};
