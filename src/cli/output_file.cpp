#include "output_file.h"

#include <cerrno>
#include <cstring>

#include "cli.h"
#include "files.h"

namespace cli {

namespace {

// Refuses a target the tool may not write, and says what the target is.
files::kind check_target(const std::string &option, const std::string &target, const std::vector<read_file> &reads)
{
    const std::string named = option + " '" + target + "'";
    const files::kind kind = files::kind_of(target);
    switch (kind) {
    case files::kind::missing:
        return kind;
    case files::kind::symbolic_link:
        throw usage_error(named + " is a symbolic link, which the tool does not write through");
    case files::kind::directory:
        throw usage_error(named + " is a folder");
    case files::kind::regular:
    case files::kind::other:
        break;
    }
    const auto written = files::identify(target);
    for (const read_file &read : reads) {
        const auto source = read.path.empty() ? files::identify_stdin() : files::identify(read.path);
        if (written && source && *written == *source)
            throw usage_error(named + " is the file read as " + read.option + "; nothing was written");
    }
    return kind;
}

void sync_and_close(std::FILE *stream)
{
    const bool synced = std::fflush(stream) == 0 && !std::ferror(stream) && files::sync_data(stream);
    const int error = errno;
    close_output(stream);  // names an earlier write error first
    if (!synced)
        throw failure(std::string("write error: ") + std::strerror(error));
}

}  // namespace

output_file::output_file(const std::string &option, const std::string &target, const std::vector<read_file> &reads)
    : target_(target)
{
    if (target.empty()) {
        stream_ = stdout;
        return;
    }
    if (check_target(option, target, reads) == files::kind::other)
        stream_ = open_file(target, "wb").release();  // a device or a pipe has nothing to keep
    else {
        stream_ = files::create_beside(target, temporary_);
        files::remove_on_signal(temporary_);
    }
}

output_file::~output_file()
{
    if (stream_ && stream_ != stdout)
        std::fclose(stream_);
    if (!temporary_.empty()) {
        std::remove(temporary_.c_str());
        files::forget_on_signal();
    }
}

void output_file::commit()
{
    if (stream_ == stdout)
        return;
    std::FILE *stream = stream_;
    stream_ = nullptr;
    if (temporary_.empty()) {
        close_output(stream);
        return;
    }
    sync_and_close(stream);
    files::replace(temporary_, target_);
    temporary_.clear();
    files::forget_on_signal();
}

}  // namespace cli
