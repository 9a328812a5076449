#include "files.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli.h"

namespace cli::files {

namespace {

identity of(const struct stat &status)
{
    return {static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino)};
}

std::string folder_of(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file that a signal removes, and the actions that its handler replaced.
char doomed_name[4096];
constexpr int ending_signals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
struct sigaction replaced[std::size(ending_signals)];

extern "C" void remove_then_resend(int signal_number)
{
    unlink(doomed_name);
    signal(signal_number, SIG_DFL);
    raise(signal_number);  // taken when the handler returns
}

// The folder's own entry is synced too, so that the rename outlives a crash.
void sync_folder(const std::string &path)
{
    const std::string folder = folder_of(path);
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

std::optional<identity> identify(const std::string &path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return of(status);
}

std::optional<identity> identify_stdin()
{
    struct stat status {};
    if (fstat(STDIN_FILENO, &status) != 0)
        return std::nullopt;
    return of(status);
}

kind kind_of(const std::string &path)
{
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0)
        return kind::missing;
    if (S_ISLNK(status.st_mode))
        return kind::symbolic_link;
    if (S_ISDIR(status.st_mode))
        return kind::directory;
    return S_ISREG(status.st_mode) ? kind::regular : kind::other;
}

std::FILE *create_beside(const std::string &target, std::string &name)
{
    // mkostemp opens with O_CREAT | O_EXCL and mode 0600: a name that exists,
    // a symbolic link included, is never opened.
    std::string pattern = folder_of(target) + ".dessec-XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        throw failure("cannot create a file beside '" + target + "': " + std::strerror(errno));
    std::FILE *stream = fdopen(fd, "wb");
    if (!stream) {
        const int error = errno;
        close(fd);
        unlink(pattern.c_str());
        throw failure("cannot create a file beside '" + target + "': " + std::strerror(error));
    }
    name = pattern;
    return stream;
}

bool sync_data(std::FILE *stream)
{
    return fsync(fileno(stream)) == 0;
}

void replace(const std::string &name, const std::string &target)
{
    if (std::rename(name.c_str(), target.c_str()) != 0)
        throw failure("cannot replace '" + target + "': " + std::strerror(errno));
    sync_folder(target);
}


void remove_on_signal(const std::string &name)
{
    if (name.size() >= sizeof doomed_name)
        return;
    name.copy(doomed_name, name.size());
    doomed_name[name.size()] = '\0';
    struct sigaction action {};
    action.sa_handler = remove_then_resend;
    sigemptyset(&action.sa_mask);
    for (int s : ending_signals)
        sigaddset(&action.sa_mask, s);
    for (std::size_t i = 0; i < std::size(ending_signals); ++i) {
        sigaction(ending_signals[i], nullptr, &replaced[i]);
        if (replaced[i].sa_handler != SIG_IGN)
            sigaction(ending_signals[i], &action, nullptr);
    }
}

void forget_on_signal()
{
    for (std::size_t i = 0; i < std::size(ending_signals); ++i)
        sigaction(ending_signals[i], &replaced[i], nullptr);
}

}  // namespace cli::files
