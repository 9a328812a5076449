// The tool's file layer: what differs between POSIX and Windows in telling
// whether two names are one file and in replacing a file whole. The rules
// built on it are portable (output_file.h).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace cli::files {

// What makes a file itself, whatever name it is reached by: the device and
// the inode, or the volume and the file index.
struct identity {
    unsigned long long device = 0;
    unsigned long long file = 0;
    friend bool operator==(const identity &, const identity &) = default;
};

// The file that path names, following symbolic links; none when there is no
// such file.
std::optional<identity> identify(const std::string &path);

// The file open as standard input; none for a terminal, a pipe or a closed
// descriptor where the platform cannot tell.
std::optional<identity> identify_stdin();

enum class kind { missing, regular, symbolic_link, directory, other };

// What path names itself, not following a symbolic link.
kind kind_of(const std::string &path);

// Creates a new file in target's folder, under a name of its own, that only
// its owner may read and write: never an existing file, nor through a
// symbolic link. Sets name and returns the stream, or throws failure.
std::FILE *create_beside(const std::string &target, std::string &name);

// Forces the data of a flushed stream's file to the disk; false with errno
// set on failure.
bool sync_data(std::FILE *stream);

// Renames the file `name` over target in one step; throws failure.
void replace(const std::string &name, const std::string &target);

// Until forget_on_signal(), an interrupting, quitting, terminating or
// hang-up signal (Ctrl-C on a console) removes the file `name` before it
// ends the tool. A signal inherited as ignored stays ignored.
void remove_on_signal(const std::string &name);
void forget_on_signal();

}  // namespace cli::files
