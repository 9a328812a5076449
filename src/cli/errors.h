// The tool's exit statuses and the two kinds of error that map to them.
#pragma once

#include <cstdio>
#include <stdexcept>

namespace cli {

// Exit statuses: 0 success or a match, 1 a failed check or operation,
// 2 misuse or input the tool cannot handle.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A write that failed, on the stream named: reported once, where it happened.
struct write_failure : failure {
    write_failure(const std::string &what, std::FILE *on) : failure(what), stream(on) {}
    std::FILE *stream;
};

}  // namespace cli
