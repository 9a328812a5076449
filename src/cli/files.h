// The tool's file layer: what differs between POSIX and Windows in telling
// whether two names are one file, in opening a target without following a
// link, and in replacing a file whole. The rules built on it are portable
// (output_file.h).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace cli::files {

// What makes a file itself, whatever name it is reached by: the device and
// the inode, or the volume and the file index; for a device node, also the
// device it stands for, which other nodes may stand for too.
struct identity {
    unsigned long long device = 0;
    unsigned long long file = 0;
    char node_type = 0;  // 'c' or 'b' for a device node
    unsigned long long stands_for = 0;
};

// One file, or two nodes of one device.
bool same_file(const identity &a, const identity &b);

// The file that path names, following symbolic links; none when there is no
// such file.
std::optional<identity> identify(const std::string &path);

// The file open on a descriptor; none for a closed descriptor, or a
// terminal or pipe where the platform cannot tell.
std::optional<identity> identify_descriptor(int fd);

enum class kind { missing, regular, symbolic_link, directory, other };

// What path names itself, not following a symbolic link.
kind kind_of(const std::string &path);

// Opens what path names for writing in place, never through a final
// symbolic link and never creating or truncating. Returns the stream and
// sets `opened` for a device, a pipe or the like; returns null with `found`
// set when the name turned out to hold a regular file, a link, a folder or
// nothing. Throws failure on other errors.
std::FILE *open_in_place(const std::string &path, kind &found, std::optional<identity> &opened);

// A stream writing to an inherited descriptor, or throws failure.
std::FILE *open_descriptor(int fd);

// Why an existing regular file may not be replaced by a new one: it has
// other names (hard links), which would keep the old content, or its user
// may not write it (its permissions, or no write bit at all).
enum class refusal { none, other_links, write_protected };
refusal replacing_refused(const std::string &path);

// The new file that is to replace target: unnamed until it is put in place
// where the system allows it, so that nothing of it outlives a crash;
// otherwise under a hidden name of its own, which a failure or an ending
// signal removes. It takes an existing target's owner, group and mode
// (throwing failure where it cannot), or else only its owner may read and
// write it (mode 0600).
struct new_file {
    std::FILE *stream = nullptr;
    std::string name;  // empty while unnamed
};
new_file create_replacement(const std::string &target);

// Flushes and syncs the file, names it, and renames it over target in one
// step; throws failure ("write error: ..." for the data).
void put_in_place(new_file &file, const std::string &target);

// Closes and removes a file that was not put in place.
void discard(new_file &file);

}  // namespace cli::files
