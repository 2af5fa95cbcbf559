#pragma once
// What a test object was asked, in order, as text ("SetVBR(64,320)").
#include <mutex>
#include <string>
#include <vector>

namespace ipctest {

class CallLog {
public:
    void Add(std::string call) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_calls, {});
    }
    std::string Last() {
        std::lock_guard lock(m_mutex);
        return m_calls.empty() ? std::string() : m_calls.back();
    }
    size_t Size() {
        std::lock_guard lock(m_mutex);
        return m_calls.size();
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

}  // namespace ipctest
