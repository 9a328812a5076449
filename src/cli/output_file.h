// Where a command writes its result: standard output, a device or a pipe as
// a stream, or a regular file that is replaced whole, and only when the
// command succeeds, by a new file that its owner alone may read.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// A file that the command reads: how the user named it, and its path
// (empty for standard input).
struct read_file {
    std::string option;
    std::string path;
};

class output_file {
public:
    // target empty: standard output. Before anything is opened for writing,
    // throws usage_error naming `option` when the target is a symbolic link,
    // a folder, or one of the files in `reads`.
    output_file(const std::string &option, const std::string &target, const std::vector<read_file> &reads);
    ~output_file();
    output_file(const output_file &) = delete;
    output_file &operator=(const output_file &) = delete;

    std::FILE *get() const { return stream_; }

    // Flushes, syncs and closes the file and puts it in the target's place;
    // throws failure. Standard output is left to the end of the tool.
    void commit();

private:
    std::string target_;
    std::string temporary_;  // the new file, until it replaces the target
    std::FILE *stream_ = nullptr;
};

}  // namespace cli
