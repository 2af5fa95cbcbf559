#include "desktop/app/Stragglers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
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
    // The ones whose call has returned are joined now, so that a long session
    // does not gather them until its end; outside the lock, as a thread may
    // still be on its way out.
    std::vector<Kept> finished;
    {
        std::lock_guard lock(g_mutex);
        auto firstFinished = std::stable_partition(g_kept.begin(), g_kept.end(),
                                                   [](Kept& k) { return !k.done || !k.done->IsSet(); });
        std::move(firstFinished, g_kept.end(), std::back_inserter(finished));
        g_kept.erase(firstFinished, g_kept.end());
        g_kept.push_back({std::move(thread), std::move(done)});
    }
    for (Kept& k : finished) k.thread.join();
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
