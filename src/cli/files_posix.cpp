#include "files.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "errors.h"
#include "signals.h"
#include "streams.h"

namespace cli::files {

namespace {

identity of(const struct stat &status)
{
    identity id{static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino)};
    if (S_ISREG(status.st_mode))
        id.type = 'f';
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
        id.type = S_ISCHR(status.st_mode) ? 'c' : 'b';
        id.stands_for = static_cast<unsigned long long>(status.st_rdev);
    }
    return id;
}

kind kind_of(mode_t mode)
{
    if (S_ISLNK(mode))
        return kind::symbolic_link;
    if (S_ISDIR(mode))
        return kind::directory;
    if (S_ISSOCK(mode))
        return kind::socket;
    return S_ISREG(mode) ? kind::regular : kind::other;
}

// A descriptor closed when it goes out of scope.
struct descriptor {
    explicit descriptor(int fd) : number(fd) {}
    ~descriptor()
    {
        if (number >= 0)
            close(number);
    }
    descriptor(const descriptor &) = delete;
    descriptor &operator=(const descriptor &) = delete;
    int number;
};

std::string error_text(const std::string &what, int error)
{
    return what + ": " + std::strerror(error);
}

// A hidden name that nobody can guess ahead: 64 random bits in hex. False
// when the system has no randomness to give, where a guessable name would
// be worse than none.
constexpr unsigned name_attempts = 8;
bool random_name(std::string &name)
{
    unsigned char bits[8];
    if (getrandom(bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits))
        return false;
    static constexpr char digits[] = "0123456789abcdef";
    name = ".dessec-";
    for (unsigned char b : bits) {
        name += digits[b >> 4];
        name += digits[b & 15];
    }
    return true;
}

// The rules of a world-writable sticky folder: a regular file or a FIFO
// there that belongs neither to the user nor to the folder's owner was put
// there by someone else, and the tool neither writes to it nor replaces it
// (and so hands it none of its data).
bool planted(const struct stat &target, const struct stat &folder)
{
    constexpr mode_t shared = S_ISVTX | S_IWOTH;
    return (folder.st_mode & shared) == shared && (S_ISREG(target.st_mode) || S_ISFIFO(target.st_mode))
           && target.st_uid != geteuid() && target.st_uid != folder.st_uid;
}

// Whether the user may write the file open on fd, as the system decides it
// (permission bits and ACLs); where /proc is not mounted, by its name in
// the held folder. A read-only file system is no choice of the file's
// owner: the new file fails there as it does for a target that does not
// exist.
bool writable(int fd, int folder, const std::string &name)
{
    const std::string through_proc = "/proc/self/fd/" + std::to_string(fd);
    int answer = faccessat(AT_FDCWD, through_proc.c_str(), W_OK, AT_EACCESS);
    if (answer != 0 && errno == ENOENT)
        answer = faccessat(folder, name.c_str(), W_OK, AT_EACCESS);
    return answer == 0 || errno == EROFS;
}

// A file mounted over the name (a bind mount) cannot be replaced by a
// rename. Only the system tells one apart (a file of another device may be
// a lower layer's, as overlay file systems show them); where it cannot, the
// rename fails after the work.
bool mount_point(int fd)
{
#ifdef STATX_ATTR_MOUNT_ROOT
    struct statx extended {};
    return statx(fd, "", AT_EMPTY_PATH, 0, &extended) == 0 && (extended.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
           && (extended.stx_attributes & STATX_ATTR_MOUNT_ROOT);
#else
    (void)fd;
    return false;
#endif
}

// Gives the new file what the owner of the target chose: its owner and
// group where they differ (chown clears the set-ID bits, so it comes
// first), then its mode.
void carry_over(int fd, const seen &target, const std::string &path)
{
    struct stat mine {};
    if (fstat(fd, &mine) != 0)
        throw failure(error_text("cannot look at the new file for '" + path + "'", errno));
    const auto owner = static_cast<uid_t>(target.owner);
    const auto group = static_cast<gid_t>(target.group);
    if ((mine.st_uid != owner || mine.st_gid != group) && fchown(fd, owner, group) != 0)
        throw failure(error_text("cannot give the new file the owner and group of '" + path + "'", errno));
    if (fchmod(fd, static_cast<mode_t>(target.mode & 07777)) != 0)
        throw failure(error_text("cannot give the new file the mode of '" + path + "'", errno));
}

// A new file takes the ACL that its folder gives new files, which may open
// it to others, and its mode from the umask: both are undone before the
// first byte, so that only what the tool sets holds.
void make_private(int fd, const std::string &path)
{
    if (fremovexattr(fd, "system.posix_acl_access") != 0 && errno != ENODATA && errno != ENOTSUP)
        throw failure(error_text("cannot remove the inherited ACL of the new file for '" + path + "'", errno));
    if (fchmod(fd, S_IRUSR | S_IWUSR) != 0)
        throw failure(error_text("cannot make the new file for '" + path + "' private", errno));
}

// Links an unnamed file into the folder under a random hidden name. Through
// /proc/self/fd any user may; AT_EMPTY_PATH needs a privilege, and serves
// where /proc is not mounted.
std::string link_in(int fd, int folder, const std::string &path)
{
    const std::string through_proc = "/proc/self/fd/" + std::to_string(fd);
    std::string name;
    errno = EEXIST;
    for (unsigned attempt = 0; attempt < name_attempts && random_name(name); ++attempt) {
        int linked = linkat(AT_FDCWD, through_proc.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW);
#ifdef AT_EMPTY_PATH
        if (linked != 0 && errno == ENOENT)
            linked = linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH);
#endif
        if (linked == 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    throw failure(error_text("cannot name the new file for '" + path + "'", error));
}

}  // namespace

std::optional<identity> identify_descriptor(int fd)
{
    struct stat status {};
    if (fstat(fd, &status) != 0)
        return std::nullopt;
    return of(status);
}

std::FILE *open_descriptor(int fd)
{
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    std::FILE *stream = copy < 0 ? nullptr : fdopen(copy, "wb");
    if (!stream) {
        const int error = errno;
        if (copy >= 0)
            close(copy);
        if (error == EBADF)
            throw usage_error("descriptor " + std::to_string(fd) + " is not open");
        throw failure(error_text("cannot write to descriptor " + std::to_string(fd), error));
    }
    return stream;
}

target_place::target_place(const std::string &path) : path_(path)
{
    const auto slash = path.rfind('/');
    folder_ = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    name_ = path.substr(folder_.size());
    folder_fd_ = open(folder_.empty() ? "." : folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd_ < 0)
        throw failure(error_text("cannot open the folder of '" + path + "'", errno));
}

target_place::~target_place()
{
    close(folder_fd_);
}

namespace {

// What the file open on fd is, and the rules that its folder puts on it.
seen describe(int fd, int folder, const std::string &name, const std::string &path)
{
    struct stat status {};
    struct stat folder_status {};
    if (fstat(fd, &status) != 0 || fstat(folder, &folder_status) != 0)
        throw failure(error_text("cannot look at '" + path + "'", errno));
    seen found;
    found.what = kind_of(status.st_mode);
    found.id = of(status);
    found.planted = planted(status, folder_status);
    found.owner = status.st_uid;
    found.group = status.st_gid;
    found.mode = status.st_mode;
    if (found.what == kind::regular) {
        found.other_links = status.st_nlink > 1;
        // A privileged user may write anything: a file without a write bit
        // for anyone is protected from such a user too.
        found.write_protected = (status.st_mode & 0222) == 0 || !writable(fd, folder, name);
        found.mount_point = mount_point(fd);
    }
    return found;
}

}  // namespace

seen target_place::look() const
{
    seen found;
    if (name_.empty() || name_ == "." || name_ == "..") {
        found.what = kind::directory;
        return found;
    }
    // O_PATH opens a link itself, a FIFO without waiting for a reader, and a
    // file that the user may not read.
    const descriptor fd(openat(folder_fd_, name_.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (fd.number < 0 && errno == ENOENT)
        return found;
    if (fd.number < 0)
        throw failure(error_text("cannot look at '" + path_ + "'", errno));
    return describe(fd.number, folder_fd_, name_, path_);
}

std::FILE *target_place::open_in_place(seen &found) const
{
    descriptor fd(openat(folder_fd_, name_.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (fd.number < 0) {
        // Something else was swapped in since the first look (a link, a
        // socket, a folder, a file or nothing): the caller judges that.
        const int error = errno;
        found = look();
        if (found.what != kind::other)
            return nullptr;
        throw failure(error_text("cannot open '" + path_ + "'", error));
    }
    found = describe(fd.number, folder_fd_, name_, path_);
    if (found.what != kind::other)
        return nullptr;
    std::FILE *stream = fdopen(fd.number, "wb");
    if (!stream)
        throw failure(error_text("cannot open '" + path_ + "'", errno));
    fd.number = -1;  // the stream's now
    return stream;
}

namespace {

// An unnamed file in the folder, or -1 where the file system or the system
// refuses O_TMPFILE (the caller then names one).
int create_unnamed(int folder)
{
#ifdef O_TMPFILE
    return openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, S_IRUSR | S_IWUSR);
#else
    (void)folder;
    return -1;
#endif
}

// A named file, opened with O_CREAT | O_EXCL under a random name, so that a
// name that exists, a symbolic link included, is never opened. The name is
// known to the signal handlers from the moment the file exists.
int create_named(int folder, std::string &name, const std::string &path)
{
    const signals::held held;
    std::string candidate;
    errno = EEXIST;
    for (unsigned attempt = 0; attempt < name_attempts && random_name(candidate); ++attempt) {
        const int fd = openat(folder, candidate.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC,
                              S_IRUSR | S_IWUSR);
        if (fd >= 0) {
            signals::remove_on_signal(folder, candidate.c_str());  // a short name: always held
            name = candidate;
            return fd;
        }
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    throw failure(error_text("cannot create a file beside '" + path + "'", error));
}

// The folder's own entry is synced too, so that the rename outlives a crash.
// The held descriptor cannot be synced; a folder that the user may write
// and search but not read is not, and the rename stands all the same.
void sync_folder(int folder)
{
    const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

new_file target_place::create_replacement(const seen &found) const
{
    new_file file;
    int fd = create_unnamed(folder_fd_);
    if (fd < 0)
        fd = create_named(folder_fd_, file.name, path_);
    file.stream = fdopen(fd, "wb");
    if (!file.stream) {
        const int error = errno;
        close(fd);
        discard(file);
        throw failure(error_text("cannot create a file beside '" + path_ + "'", error));
    }
    try {
        make_private(fd, path_);
        if (found.what == kind::regular)
            carry_over(fd, found, path_);
    } catch (...) {
        discard(file);
        throw;
    }
    return file;
}

void target_place::put_in_place(new_file &file) const
{
    std::FILE *stream = file.stream;
    file.stream = nullptr;
    const bool synced = std::fflush(stream) == 0 && !std::ferror(stream) && fsync(fileno(stream)) == 0;
    const int sync_error = errno;
    const signals::held held;  // a name and its file go together
    if (synced && file.name.empty()) {
        try {
            file.name = link_in(fileno(stream), folder_fd_, path_);
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
    if (renameat(folder_fd_, file.name.c_str(), folder_fd_, name_.c_str()) != 0) {
        const int error = errno;
        discard(file);
        throw failure(error_text("cannot replace '" + path_ + "'", error));
    }
    file.name.clear();
    signals::forget_removal();
    sync_folder(folder_fd_);
}

void target_place::discard(new_file &file) const
{
    if (file.stream)
        std::fclose(file.stream);
    file.stream = nullptr;
    const signals::held held;
    if (!file.name.empty())
        unlinkat(folder_fd_, file.name.c_str(), 0);
    file.name.clear();
    signals::forget_removal();
}

}  // namespace cli::files
