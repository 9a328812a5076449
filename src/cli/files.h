// The tool's file layer: what differs between POSIX and Windows in telling
// whether two names are one file, in looking at a target without following
// a link, and in replacing a file whole. The rules built on it are portable
// (output_file.h).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace cli::files {

// What makes a file itself, whatever name it is reached by: the device and
// the inode, or the volume and the file index; its type; for a device node,
// also the device it stands for, which other nodes may stand for too.
struct identity {
    unsigned long long device = 0;
    unsigned long long file = 0;
    char type = 0;  // 'f' a regular file, 'b' or 'c' a device node, 0 anything else
    unsigned long long stands_for = 0;
};

// The file open on a descriptor; none when it is closed, or for a terminal
// or pipe where the platform cannot tell.
std::optional<identity> identify_descriptor(int fd);

// A stream writing to an inherited descriptor; throws usage_error for a
// descriptor that is not open, failure on other errors.
std::FILE *open_descriptor(int fd);

enum class kind { missing, regular, symbolic_link, directory, socket, other };

// What a target's name holds, never following a final symbolic link.
struct seen {
    kind what = kind::missing;
    std::optional<identity> id;
    // A regular file or a FIFO of another user (neither the tool's user nor
    // the folder's owner) in a world-writable sticky folder, which such a
    // folder's rules keep from the tool, whatever the system's settings.
    bool planted = false;
    bool other_links = false;      // a regular file with other names, which would keep the old content
    bool write_protected = false;  // its user may not write it, or nobody may
    bool mount_point = false;      // a regular file mounted there, which no rename replaces
    // What a replacement takes over, where the platform has them.
    unsigned long owner = 0, group = 0, mode = 0;
};

// The new file that is to replace the target: unnamed until it is put in
// place where the system allows it, so that nothing of it outlives a crash;
// otherwise under a random hidden name of its own, which a failure or an
// ending signal removes.
struct new_file {
    std::FILE *stream = nullptr;
    std::string name;  // in the target's folder; empty while unnamed
};

// A target and the folder that holds it. Where the platform allows, the
// folder is opened once, following the path as given, and every later step
// goes through that descriptor: a folder renamed or swapped for a link
// afterwards changes nothing of what the tool looks at or writes.
class target_place {
public:
    explicit target_place(const std::string &path);  // throws failure
    ~target_place();
    target_place(const target_place &) = delete;
    target_place &operator=(const target_place &) = delete;

    seen look() const;

    // Opens the target for writing in place, never through a final symbolic
    // link and never creating or truncating, and looks at it again through
    // the descriptor. Returns the stream for a device, a pipe or the like;
    // null when the name turned out to hold something else (`found` says
    // what). Throws failure on other errors.
    std::FILE *open_in_place(seen &found) const;

    // A new file beside the target, private to its owner whatever the umask
    // and the folder's inherited access (mode 0600), or with an existing
    // regular target's owner, group and mode (throwing failure where it
    // cannot give them).
    new_file create_replacement(const seen &found) const;

    // Flushes and syncs the file, names it, and renames it over the target
    // in one step; throws failure ("write error: ..." for the data).
    void put_in_place(new_file &file) const;

    // Closes and removes a file that was not put in place.
    void discard(new_file &file) const;

private:
    std::string path_;
    std::string folder_;  // the folder's path as given, up to its last separator
    std::string name_;    // the target's own name in it
    int folder_fd_ = -1;  // where the folder is held open
};

}  // namespace cli::files
