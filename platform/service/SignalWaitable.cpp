#include "platform/service/SignalWaitable.h"

#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace plat {

SignalWaitable::SignalWaitable(std::initializer_list<int> signals) {
    sigset_t set;
    sigemptyset(&set);
    for (int s : signals) sigaddset(&set, s);
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0) m_fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

SignalWaitable::~SignalWaitable() {
    if (m_fd >= 0) close(m_fd);
}

bool SignalWaitable::TryAcquire() {
    signalfd_siginfo info{};
    if (read(m_fd, &info, sizeof(info)) != static_cast<ssize_t>(sizeof(info))) return false;
    m_last = static_cast<int>(info.ssi_signo);
    return true;
}

}  // namespace plat
