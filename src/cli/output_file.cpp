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
int descriptor_named(std::string_view target)
{
    if (target.empty() || target == "-" || target == "/dev/stdout")
        return 1;
    for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!target.starts_with(prefix))
            continue;
        const std::string_view digits = target.substr(prefix.size());
        int fd = no_descriptor;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
        if (error == std::errc() && end == digits.data() + digits.size() && !digits.empty())
            return fd;
    }
    return no_descriptor;
}

}  // namespace

output_file::output_file(const std::string &option, const std::string &target, const std::vector<read_file> &reads)
    : option_(option), target_(target), reads_(reads)
{
    const int fd = descriptor_named(target);
    if (fd != no_descriptor && !target.empty() && target != "-")
        refuse_reads(files::identify_descriptor(fd));
    if (fd == 1)
        stream_ = stdout;
    else if (fd != no_descriptor)
        stream_ = files::open_descriptor(fd);
    else
        open_stream(target);
    if (!stream_)
        open_replacement(target);
}

// A target that is not a regular file is opened in place, never through a
// link and never truncated, and looked at once open: whatever was swapped
// in since it was first looked at is what is checked.
void output_file::open_stream(const std::string &target)
{
    const std::string named = option_ + " '" + target + "'";
    files::kind found = files::kind_of(target);
    std::optional<files::identity> opened;
    stream in_place;
    if (found == files::kind::other)
        in_place.reset(files::open_in_place(target, found, opened));
    switch (found) {
    case files::kind::symbolic_link:
        throw usage_error(named + " is a symbolic link, which the tool does not write through");
    case files::kind::directory:
        throw usage_error(named + " is a folder");
    case files::kind::missing:
        return;
    case files::kind::regular:
        opened = files::identify(target);
        break;
    case files::kind::other:
        break;
    }
    refuse_reads(opened);
    stream_ = in_place.release();
    if (found != files::kind::regular)
        return;
    switch (files::replacing_refused(target)) {
    case files::refusal::other_links:
        throw usage_error(named + " has other hard links, which would keep the old content; nothing was written");
    case files::refusal::write_protected:
        throw usage_error(named + " is write-protected; nothing was written");
    case files::refusal::none:
        break;
    }
}

void output_file::refuse_reads(const std::optional<files::identity> &written) const
{
    for (const read_file &read : reads_) {
        const auto source = read.path.empty() ? files::identify_descriptor(0) : files::identify(read.path);
        if (written && source && files::same_file(*written, *source))
            throw usage_error(option_ + " '" + target_ + "' is the file read as " + read.option
                              + "; nothing was written");
    }
}

void output_file::open_replacement(const std::string &target)
{
    replacement_ = files::create_replacement(target);
    stream_ = replacement_.stream;
}

output_file::~output_file()
{
    if (replacement_.stream || !replacement_.name.empty())
        files::discard(replacement_);
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
    files::put_in_place(replacement_, target_);
}

}  // namespace cli
