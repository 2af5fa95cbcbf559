#pragma once
// A listener double: records every call, lets a test wait for them, and can
// hold the caller inside OnAudioData until it is interrupted.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "service/audio/IQXListener.h"

class TestListener : public plat::ComObject<TestListener, IQXListener> {
public:
    static plat::ComPtr<TestListener> Create() { return plat::ComPtr<TestListener>(CreateInstance()); }

    HRESULT OnSongFound(DWORD startMs, DWORD endMs) override {
        Note([&] { songs.emplace_back(startMs, endMs); });
        return S_OK;
    }
    HRESULT OnAudioData(DWORD bytes, BYTE* data) override {
        if (!data) return E_POINTER;
        std::unique_lock<std::mutex> lock(m);
        chunks.emplace_back(data, data + bytes);
        cv.notify_all();
        if (holdInAudio) cv.wait_for(lock, std::chrono::seconds(20), [&] { return interrupts > 0; });
        return S_OK;
    }
    HRESULT OnInterrupt() override {
        Note([&] { ++interrupts; });
        return S_OK;
    }

    template <class Pred>
    bool WaitFor(Pred pred, int timeoutMs = 30000) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
    }
    bool WaitChunks(size_t n) {
        return WaitFor([&] { return chunks.size() >= n; });
    }
    std::vector<std::vector<BYTE>> Chunks() {
        std::lock_guard<std::mutex> lock(m);
        return chunks;
    }
    int Interrupts() {
        std::lock_guard<std::mutex> lock(m);
        return interrupts;
    }
    std::vector<std::pair<DWORD, DWORD>> Songs() {
        std::lock_guard<std::mutex> lock(m);
        return songs;
    }

    std::mutex m;
    std::condition_variable cv;
    std::vector<std::vector<BYTE>> chunks;
    std::vector<std::pair<DWORD, DWORD>> songs;
    int interrupts = 0;
    bool holdInAudio = false;

private:
    template <class F>
    void Note(F f) {
        {
            std::lock_guard<std::mutex> lock(m);
            f();
        }
        cv.notify_all();
    }
};
