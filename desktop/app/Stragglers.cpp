#include "desktop/app/Stragglers.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace parvane::stragglers {

namespace {

struct Kept {
    std::thread thread;
    std::shared_ptr<CancelFlag> done;
};

std::mutex g_mutex;
std::vector<Kept> g_kept;

}  // namespace

void Keep(std::thread thread, std::shared_ptr<CancelFlag> done) {
    if (!thread.joinable()) return;
    std::lock_guard lock(g_mutex);
    g_kept.push_back({std::move(thread), std::move(done)});
}

bool JoinAll(std::chrono::milliseconds limit) {
    std::vector<Kept> kept;
    {
        std::lock_guard lock(g_mutex);
        kept.swap(g_kept);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<Kept> left;
    for (Kept& k : kept) {
        const auto remaining =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        // WaitFor answers false once the flag is set.
        if (!k.done || !k.done->WaitFor(int(std::max<int64_t>(remaining.count(), 0)))) {
            k.thread.join();
        } else {
            left.push_back(std::move(k));
        }
    }
    std::lock_guard lock(g_mutex);
    for (Kept& k : left) g_kept.push_back(std::move(k));
    return g_kept.empty();
}

int Count() {
    std::lock_guard lock(g_mutex);
    return int(g_kept.size());
}

void LeaveNow(int code) {
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace parvane::stragglers
