// Tables built at their first use, once for all threads. Not local statics:
// in a Windows DLL with the C++ runtime linked in, the runtime guards the
// first build of a local static with a mutex and a condition variable that
// no FreeLibrary frees, two handles lost at every load.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace dessec {

// The value `build` returns, built by the first thread that asks; a thread
// that asks meanwhile yields until it is there, and after a few turns sleeps
// between looks, so that a thread of higher priority cannot starve the
// builder (a build takes microseconds; there is no wait on the atomic, whose
// mingw-w64 form can miss a wake-up).
// Constant-initialised, so that a namespace-scope one needs no guard either.
template <class T, T (*build)()>
class built_once {
public:
    const T &get()
    {
        if (state_.load(std::memory_order_acquire) != built)
            build_or_wait();
        return value_;
    }

private:
    enum state : int { unbuilt, building, built };

    void build_or_wait()
    {
        int expected = unbuilt;
        if (state_.compare_exchange_strong(expected, building, std::memory_order_acquire)) {
            value_ = build();
            state_.store(built, std::memory_order_release);
            return;
        }
        for (int turn = 0; state_.load(std::memory_order_acquire) != built; ++turn) {
            if (turn < 64)
                std::this_thread::yield();
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::atomic<int> state_{unbuilt};
    T value_{};
};

}  // namespace dessec
