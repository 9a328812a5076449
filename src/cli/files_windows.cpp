#include "files.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "errors.h"

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
                    (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

// A handle that reads nothing, to ask about a file or a folder.
HANDLE open_to_ask(const std::string &path, DWORD flags)
{
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// The file that Ctrl-C or a closing console removes.
char doomed_name[MAX_PATH];

BOOL WINAPI remove_then_end(DWORD)
{
    DeleteFileA(doomed_name);
    return FALSE;  // the default handler ends the process
}

std::string folder_of(const std::string &path)
{
    const auto separator = path.find_last_of("/\\:");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

std::optional<identity> identify(const std::string &path)
{
    const HANDLE handle = open_to_ask(path, 0);
    const auto found = of(handle);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return found;
}

std::optional<identity> identify_stdin()
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(0));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK)
        return std::nullopt;
    return of(handle);
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

std::FILE *create_beside(const std::string &target, std::string &name)
{
    const std::string folder = folder_of(target);
    const unsigned long long seed = GetTickCount64() ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 32);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + ".dessec-" + std::to_string(seed + attempt) + ".tmp";
        // _O_EXCL never opens a name that exists; read-write for the owner only.
        const int fd = _open(candidate.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                             _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            break;
        std::FILE *stream = _fdopen(fd, "wb");
        if (!stream) {
            _close(fd);
            _unlink(candidate.c_str());
            break;
        }
        name = candidate;
        return stream;
    }
    throw failure("cannot create a file beside '" + target + "': " + std::strerror(errno));
}

bool sync_data(std::FILE *stream)
{
    return _commit(_fileno(stream)) == 0;
}

void replace(const std::string &name, const std::string &target)
{
    if (!MoveFileExA(name.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw failure("cannot replace '" + target + "': " + last_error());
}


void remove_on_signal(const std::string &name)
{
    if (name.size() >= sizeof doomed_name)
        return;
    name.copy(doomed_name, name.size());
    doomed_name[name.size()] = '\0';
    SetConsoleCtrlHandler(remove_then_end, TRUE);
}

void forget_on_signal()
{
    SetConsoleCtrlHandler(remove_then_end, FALSE);
}

}  // namespace cli::files
