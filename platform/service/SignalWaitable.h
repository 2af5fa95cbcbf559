#pragma once
// Termination signals as an object a thread can wait on. The signals are
// blocked for the whole process (construct before any other thread starts)
// and arrive through a descriptor instead.
#include <initializer_list>

#include "platform/core/Sync.h"

namespace plat {

class SignalWaitable : public plat::Waitable {
public:
    explicit SignalWaitable(std::initializer_list<int> signals);
    ~SignalWaitable() override;
    SignalWaitable(const SignalWaitable&) = delete;
    SignalWaitable& operator=(const SignalWaitable&) = delete;

    bool IsValid() const { return m_fd >= 0; }
    int WaitFd() const override { return m_fd; }
    // Takes one pending signal; its number is kept.
    bool TryAcquire() override;
    int LastSignal() const { return m_last; }

private:
    int m_fd = -1;
    int m_last = 0;
};

}  // namespace plat
