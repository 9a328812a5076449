// Where a command writes its result: standard output or an inherited
// descriptor, a device or a pipe as a stream, or a regular file that is
// replaced whole, and only when the command succeeds, by a new file that
// keeps what its owner chose.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "files.h"

namespace cli {

// A file that the command reads: how the user named it, and the
// descriptor it is read from, or what that descriptor showed when the file
// was read and closed.
struct read_file {
    std::string option;
    int fd = -1;
    std::optional<files::identity> id;
};

class output_file {
public:
    // target empty or "-": standard output; "/dev/stdout", "/dev/fd/N" and
    // "/proc/self/fd/N": that descriptor. Before anything is opened for
    // writing, throws usage_error naming `option` when the target is a
    // symbolic link, a folder, a socket, a file planted by another user in
    // a shared sticky folder, one of the files in `reads` (standard output
    // too, when it is a regular file or a block device), or a file that may
    // not be replaced (hard-linked, write-protected or a mount point).
    output_file(const std::string &option, const std::string &target, const std::vector<read_file> &reads);
    ~output_file();
    output_file(const output_file &) = delete;
    output_file &operator=(const output_file &) = delete;

    std::FILE *get() const { return stream_; }

    // Flushes, syncs and closes the file and puts it in the target's place;
    // throws failure. Standard output is left to the end of the tool.
    void commit();

private:
    void open_target();
    void refuse(const files::seen &found) const;
    void refuse_reads(const std::optional<files::identity> &written, const std::string &named) const;

    std::string option_;
    std::string target_;
    const std::vector<read_file> &reads_;
    std::optional<files::target_place> place_;  // a file target's folder, held
    files::new_file replacement_;  // until it replaces the target
    std::FILE *stream_ = nullptr;
};

}  // namespace cli
