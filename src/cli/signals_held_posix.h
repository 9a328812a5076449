// POSIX: holds signals back for a scope, so that what their handlers read
// changes as one piece.
#pragma once

#include <csignal>
#include <span>

namespace cli {

class signals_held {
public:
    explicit signals_held(std::span<const int> signals)
    {
        sigset_t held;
        sigemptyset(&held);
        for (int s : signals)
            sigaddset(&held, s);
        sigprocmask(SIG_BLOCK, &held, &before_);
    }
    ~signals_held() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
    signals_held(const signals_held &) = delete;
    signals_held &operator=(const signals_held &) = delete;

private:
    sigset_t before_;
};

}  // namespace cli
