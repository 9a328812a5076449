#include "files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "errors.h"
#include "signals.h"
#include "streams.h"

namespace cli::files {

namespace {

identity of(const struct stat &status)
{
    identity id{static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino)};
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
        id.node_type = S_ISCHR(status.st_mode) ? 'c' : 'b';
        id.stands_for = static_cast<unsigned long long>(status.st_rdev);
    }
    return id;
}

std::string folder_of(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string error_text(const std::string &what, int error)
{
    return what + ": " + std::strerror(error);
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

// An unnamed file in the folder, or -1 where the file system or the system
// refuses O_TMPFILE (the caller then names one).
int create_unnamed(const std::string &folder)
{
#ifdef O_TMPFILE
    return open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, S_IRUSR | S_IWUSR);
#else
    (void)folder;
    return -1;
#endif
}

// A named file that only its owner may read and write: mkostemp opens with
// O_CREAT | O_EXCL and mode 0600, so a name that exists, a symbolic link
// included, is never opened. The name is known to the signal handlers from
// the moment the file exists.
int create_named(const std::string &target, std::string &name)
{
    std::string pattern = folder_of(target) + ".dessec-XXXXXX";
    const signals::held held;
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw failure(error_text("cannot create a file beside '" + target + "'", error));
    }
    if (!signals::remove_on_signal(AT_FDCWD, pattern.c_str())) {
        unlink(pattern.c_str());
        close(fd);
        throw failure("cannot create a file beside '" + target + "': the name is too long");
    }
    name = pattern;
    return fd;
}

// Gives the new file what the owner of the target chose: its owner and
// group where they differ (chown clears the set-ID bits, so it comes
// first), then its mode.
void carry_over(int fd, const struct stat &target_status, const std::string &target)
{
    struct stat mine {};
    if (fstat(fd, &mine) != 0)
        throw failure(error_text("cannot look at the new file for '" + target + "'", errno));
    if ((mine.st_uid != target_status.st_uid || mine.st_gid != target_status.st_gid)
        && fchown(fd, target_status.st_uid, target_status.st_gid) != 0)
        throw failure(error_text("cannot give the new file the owner and group of '" + target + "'", errno));
    if (fchmod(fd, target_status.st_mode & 07777) != 0)
        throw failure(error_text("cannot give the new file the mode of '" + target + "'", errno));
}

// Links an unnamed file into its folder under a fresh hidden name. Through
// /proc/self/fd any user may; AT_EMPTY_PATH needs a privilege, and serves
// where /proc is not mounted.
std::string link_in(int fd, const std::string &target)
{
    const std::string through_proc = "/proc/self/fd/" + std::to_string(fd);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = folder_of(target) + ".dessec-" + std::to_string(getpid()) + "-"
                                 + std::to_string(attempt);
        int linked = linkat(AT_FDCWD, through_proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
#ifdef AT_EMPTY_PATH
        if (linked != 0 && errno == ENOENT)
            linked = linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
#endif
        if (linked == 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    throw failure(error_text("cannot name the new file for '" + target + "'", errno));
}

}  // namespace

bool same_file(const identity &a, const identity &b)
{
    if (a.device == b.device && a.file == b.file)
        return true;
    return a.node_type != 0 && a.node_type == b.node_type && a.stands_for == b.stands_for;
}

std::optional<identity> identify(const std::string &path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return of(status);
}

std::optional<identity> identify_descriptor(int fd)
{
    struct stat status {};
    if (fstat(fd, &status) != 0)
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

std::FILE *open_in_place(const std::string &path, kind &found, std::optional<identity> &opened)
{
    const int fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        found = error == ELOOP ? kind::symbolic_link : error == ENOENT ? kind::missing
                : error == EISDIR                    ? kind::directory
                                                     : kind::other;
        if (found != kind::other)
            return nullptr;
        throw failure(error_text("cannot open '" + path + "'", error));
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || S_ISREG(status.st_mode)) {
        close(fd);
        found = kind::regular;
        return nullptr;
    }
    found = kind::other;
    opened = of(status);
    std::FILE *stream = fdopen(fd, "wb");
    if (!stream) {
        const int error = errno;
        close(fd);
        throw failure(error_text("cannot open '" + path + "'", error));
    }
    return stream;
}

std::FILE *open_descriptor(int fd)
{
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    std::FILE *stream = copy < 0 ? nullptr : fdopen(copy, "wb");
    if (!stream) {
        const int error = errno;
        if (copy >= 0)
            close(copy);
        throw failure(error_text("cannot write to descriptor " + std::to_string(fd), error));
    }
    return stream;
}

refusal replacing_refused(const std::string &path)
{
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0)
        return refusal::none;
    if (status.st_nlink > 1)
        return refusal::other_links;
    // A privileged user may write anything: a file without a write bit for
    // anyone is protected from such a user too. A read-only file system is
    // no choice of the file's owner: the new file fails there as it does for
    // a target that does not exist.
    if ((status.st_mode & 0222) == 0
        || (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno != EROFS))
        return refusal::write_protected;
    return refusal::none;
}

new_file create_replacement(const std::string &target)
{
    struct stat target_status {};
    const bool existing = lstat(target.c_str(), &target_status) == 0 && S_ISREG(target_status.st_mode);
    new_file file;
    int fd = create_unnamed(folder_of(target));
    if (fd < 0)
        fd = create_named(target, file.name);
    file.stream = fdopen(fd, "wb");
    if (!file.stream) {
        const int error = errno;
        close(fd);
        discard(file);
        throw failure(error_text("cannot create a file beside '" + target + "'", error));
    }
    try {
        if (existing)
            carry_over(fd, target_status, target);
    } catch (...) {
        discard(file);
        throw;
    }
    return file;
}

void put_in_place(new_file &file, const std::string &target)
{
    std::FILE *stream = file.stream;
    file.stream = nullptr;
    const bool synced = std::fflush(stream) == 0 && !std::ferror(stream) && fsync(fileno(stream)) == 0;
    const int sync_error = errno;
    const signals::held held;  // a name and its file go together
    if (synced && file.name.empty()) {
        try {
            file.name = link_in(fileno(stream), target);
        } catch (...) {
            std::fclose(stream);
            throw;
        }
    }
    try {
        close_output(stream);  // names an earlier write error first
        if (!synced)
            throw failure(std::string("write error: ") + std::strerror(sync_error));
    } catch (...) {
        discard(file);
        throw;
    }
    if (std::rename(file.name.c_str(), target.c_str()) != 0) {
        const int error = errno;
        discard(file);
        throw failure(error_text("cannot replace '" + target + "'", error));
    }
    file.name.clear();
    signals::forget_removal();
    sync_folder(target);
}

void discard(new_file &file)
{
    if (file.stream)
        std::fclose(file.stream);
    file.stream = nullptr;
    const signals::held held;
    if (!file.name.empty())
        unlink(file.name.c_str());
    file.name.clear();
    signals::forget_removal();
}

}  // namespace cli::files
