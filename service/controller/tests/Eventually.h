#pragma once
// Waiting in tests for what the engine's threads bring about.
#include <chrono>
#include <thread>

// Polls a condition; the deadline only ends a run whose threads are stuck,
// however loaded the machine is.
template <class Cond>
bool Eventually(Cond cond, std::chrono::seconds deadline = std::chrono::seconds(60)) {
    for (auto end = std::chrono::steady_clock::now() + deadline; std::chrono::steady_clock::now() < end;) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}
