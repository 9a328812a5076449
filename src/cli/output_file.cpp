#include "output_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>

#include "errors.h"
#include "streams.h"

namespace cli {

namespace {

constexpr int no_descriptor = -1;

// The descriptor that a target names, as the rest of the tool takes "-"
// and as the system's own names for open descriptors do; none for a file.
// Under those names anything but a descriptor's number is misuse.
int descriptor_named(const std::string &option, std::string_view target)
{
    if (target.empty() || target == "-" || target == "/dev/stdout")
        return 1;
    for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!target.starts_with(prefix))
            continue;
        const std::string_view digits = target.substr(prefix.size());
        int fd = no_descriptor;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
        if (error != std::errc() || end != digits.data() + digits.size() || digits.empty() || fd < 0)
            throw usage_error(option + " '" + std::string(target) + "' names no descriptor");
        return fd;
    }
    return no_descriptor;
}

// Whether writing `written` overwrites what `read` holds: one file, two
// nodes of one device, or a block device and a file that lives on it.
bool overwrites(const files::identity &written, const files::identity &read)
{
    if (written.device == read.device && written.file == read.file)
        return true;
    const bool node = read.type == 'b' || read.type == 'c';
    if (node)
        return read.type == written.type && read.stands_for == written.stands_for;
    return written.type == 'b' && read.device == written.stands_for;
}

}  // namespace

output_file::output_file(const std::string &option, const std::string &target, const std::vector<read_file> &reads)
    : option_(option), target_(target), reads_(reads)
{
    const int fd = descriptor_named(option_, target);
    if (fd == no_descriptor) {
        open_target();
        return;
    }
    // A file or a disk on an open descriptor is checked as --out is; a
    // terminal, a pipe or /dev/null is nothing that the command reads.
    const auto written = files::identify_descriptor(fd);
    if (written && (written->type == 'f' || written->type == 'b'))
        refuse_reads(written, target.empty() || target == "-" ? option_ + " is standard output, which"
                                                              : option_ + " '" + target + "'");
    stream_ = fd == 1 ? stdout : files::open_descriptor(fd);
}

// A target is looked at through its folder, held open from here on: a
// device, a pipe or the like is opened in place, never through a link and
// never truncated, and looked at again once open, so that whatever was
// swapped in meanwhile is what is checked; a regular file or none is
// replaced by a new file.
void output_file::open_target()
{
    place_.emplace(target_);
    files::seen found = place_->look();
    refuse(found);
    stream in_place;
    if (found.what == files::kind::other) {
        in_place.reset(place_->open_in_place(found));
        refuse(found);
    }
    if (in_place) {
        stream_ = in_place.release();
        return;
    }
    replacement_ = place_->create_replacement(found);
    stream_ = replacement_.stream;
}

void output_file::refuse(const files::seen &found) const
{
    const std::string named = option_ + " '" + target_ + "'";
    switch (found.what) {
    case files::kind::symbolic_link:
        throw usage_error(named + " is a symbolic link, which the tool does not write through");
    case files::kind::directory:
        throw usage_error(named + " is a folder");
    case files::kind::socket:
        throw usage_error(named + " is a socket, which the tool does not write to");
    default:
        break;
    }
    if (found.planted)
        throw usage_error(named + " belongs to another user in a shared sticky folder; nothing was written");
    refuse_reads(found.id, named);
    if (found.what != files::kind::regular)
        return;
    if (found.mount_point)
        throw usage_error(named + " is a mount point, which cannot be replaced; nothing was written");
    if (found.other_links)
        throw usage_error(named + " has other hard links, which would keep the old content; nothing was written");
    if (found.write_protected)
        throw usage_error(named + " is write-protected; nothing was written");
}

// `named` is the subject of the message: "--out 'FILE'".
void output_file::refuse_reads(const std::optional<files::identity> &written, const std::string &named) const
{
    if (!written)
        return;
    for (const read_file &read : reads_) {
        const auto source = read.fd >= 0 ? files::identify_descriptor(read.fd) : read.id;
        if (source && overwrites(*written, *source))
            throw usage_error(named + " is the file read as " + read.option + "; nothing was written");
    }
}

output_file::~output_file()
{
    if (replacement_.stream || !replacement_.name.empty())
        place_->discard(replacement_);
    else if (stream_ && stream_ != stdout)
        std::fclose(stream_);
}

void output_file::commit()
{
    if (stream_ == stdout)
        return;
    std::FILE *stream = stream_;
    stream_ = nullptr;
    if (!replacement_.stream) {
        close_output(stream);
        return;
    }
    place_->put_in_place(replacement_);
}

}  // namespace cli
