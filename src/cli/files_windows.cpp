// rand_s, the C runtime's call for the system's random numbers.
#define _CRT_RAND_S
#include <stdlib.h>

#include "files.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "errors.h"
#include "streams.h"

namespace cli::files {

namespace {

std::string last_error()
{
    return "Windows error " + std::to_string(GetLastError());
}

std::optional<identity> of(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information))
        return std::nullopt;
    return identity{information.dwVolumeSerialNumber,
                    (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) | information.nFileIndexLow,
                    (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? '\0' : 'f'};
}

// A handle that reads nothing, to ask about a file or a folder.
HANDLE open_to_ask(const std::string &path, DWORD flags)
{
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// The file that Ctrl-C or a closing console removes; empty until it exists.
char doomed_name[MAX_PATH];

BOOL WINAPI remove_then_end(DWORD)
{
    if (doomed_name[0] != '\0')
        DeleteFileA(doomed_name);
    return FALSE;  // the default handler ends the process
}

void forget_on_signal()
{
    SetConsoleCtrlHandler(remove_then_end, FALSE);
    doomed_name[0] = '\0';
}

kind kind_of(const std::string &path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return kind::missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return kind::symbolic_link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return kind::directory;
    const HANDLE handle = open_to_ask(path, FILE_FLAG_OPEN_REPARSE_POINT);
    const bool on_disk = handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return on_disk ? kind::regular : kind::other;
}

// Hard links and the read-only attribute of a regular file.
void judge_replacing(const std::string &path, seen &found)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    found.write_protected = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    const HANDLE handle = open_to_ask(path, FILE_FLAG_OPEN_REPARSE_POINT);
    BY_HANDLE_FILE_INFORMATION information{};
    found.other_links = handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &information)
                        && information.nNumberOfLinks > 1;
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
}

// A hidden name that nobody can guess ahead, from the system's random
// numbers: 64 bits in hex.
bool random_name(std::string &name)
{
    unsigned int halves[2];
    if (rand_s(&halves[0]) != 0 || rand_s(&halves[1]) != 0)
        return false;
    char digits[17];
    std::snprintf(digits, sizeof digits, "%08x%08x", halves[0], halves[1]);
    name = std::string(".dessec-") + digits + ".tmp";
    return true;
}

// The file that path names, following links.
std::optional<identity> identify(const std::string &path)
{
    const HANDLE handle = open_to_ask(path, 0);
    const auto found = of(handle);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return found;
}

}  // namespace

std::optional<identity> identify_descriptor(int fd)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK)
        return std::nullopt;
    return of(handle);
}

std::FILE *open_descriptor(int fd)
{
    const int copy = _dup(fd);
    std::FILE *stream = copy < 0 ? nullptr : _fdopen(copy, "wb");
    if (!stream) {
        const int error = errno;
        if (copy >= 0)
            _close(copy);
        if (error == EBADF)
            throw usage_error("descriptor " + std::to_string(fd) + " is not open");
        throw failure("cannot write to descriptor " + std::to_string(fd) + ": " + std::strerror(error));
    }
    return stream;
}

target_place::target_place(const std::string &path) : path_(path)
{
    const auto separator = path.find_last_of("/\\:");
    folder_ = separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
    name_ = path.substr(folder_.size());
}

target_place::~target_place() = default;

seen target_place::look() const
{
    seen found;
    found.what = name_.empty() || name_ == "." || name_ == ".." ? kind::directory : kind_of(path_);
    if (found.what == kind::regular) {
        found.id = identify(path_);
        judge_replacing(path_, found);
    }
    return found;
}

std::FILE *target_place::open_in_place(seen &found) const
{
    // OPEN_EXISTING never creates nor truncates; a reparse point is opened
    // itself, not followed.
    const HANDLE handle = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            found = seen{};
            return nullptr;
        }
        throw failure("cannot open '" + path_ + "': " + last_error());
    }
    if (GetFileType(handle) == FILE_TYPE_DISK) {
        CloseHandle(handle);
        found = look();
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    std::FILE *stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (!stream) {
        if (fd < 0)
            CloseHandle(handle);
        else
            _close(fd);
        throw failure("cannot open '" + path_ + "': " + std::strerror(errno));
    }
    return stream;
}

// The new file is named: the handler that removes it is set before it
// exists. Its access is what the folder gives new files.
new_file target_place::create_replacement(const seen &) const
{
    doomed_name[0] = '\0';
    SetConsoleCtrlHandler(remove_then_end, TRUE);
    std::string name;
    errno = EEXIST;
    for (unsigned attempt = 0; attempt < 8 && random_name(name); ++attempt) {
        const std::string candidate = folder_ + name;
        if (candidate.size() >= sizeof doomed_name)
            break;
        // _O_EXCL never opens a name that exists; read-write for the owner only.
        const int fd = _open(candidate.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                             _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            break;
        candidate.copy(doomed_name, candidate.size());
        doomed_name[candidate.size()] = '\0';
        new_file file{_fdopen(fd, "wb"), name};
        if (!file.stream) {
            _close(fd);
            discard(file);
            break;
        }
        return file;
    }
    const int error = errno;
    forget_on_signal();
    throw failure("cannot create a file beside '" + path_ + "': " + std::strerror(error));
}

void target_place::put_in_place(new_file &file) const
{
    std::FILE *stream = file.stream;
    file.stream = nullptr;
    const bool synced = std::fflush(stream) == 0 && !std::ferror(stream) && _commit(_fileno(stream)) == 0;
    const int sync_error = errno;
    try {
        close_output(stream);  // names an earlier write error first
        if (!synced)
            throw failure(std::string("write error: ") + std::strerror(sync_error));
    } catch (...) {
        discard(file);
        throw;
    }
    if (!MoveFileExA((folder_ + file.name).c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const std::string why = last_error();
        discard(file);
        throw failure("cannot replace '" + path_ + "': " + why);
    }
    file.name.clear();
    forget_on_signal();
}

void target_place::discard(new_file &file) const
{
    if (file.stream)
        std::fclose(file.stream);
    file.stream = nullptr;
    if (!file.name.empty())
        DeleteFileA((folder_ + file.name).c_str());
    file.name.clear();
    forget_on_signal();
}

}  // namespace cli::files
