#include "console.h"

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace cli::console {

namespace {

// What the control handler needs to give the console its echo back.
HANDLE hidden_input = INVALID_HANDLE_VALUE;
DWORD echoing_mode = 0;

// Runs on its own thread at Ctrl-C, Ctrl-Break or a closing console:
// restores the mode, then lets the default handler end the process.
BOOL WINAPI restore_console(DWORD)
{
    if (hidden_input != INVALID_HANDLE_VALUE)
        SetConsoleMode(hidden_input, echoing_mode);
    return FALSE;
}

// The console itself, whatever standard input and output are redirected to.
HANDLE open_console(const char *name, DWORD access)
{
    return CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

void write_console(HANDLE out, const char *text)
{
    DWORD written = 0;
    WriteFile(out, text, static_cast<DWORD>(std::char_traits<char>::length(text)), &written, nullptr);
}

}  // namespace

hidden_read read_hidden_line(const char *prompt, secret_string &line, std::size_t limit)
{
    HANDLE in = open_console("CONIN$", GENERIC_READ | GENERIC_WRITE);
    if (in == INVALID_HANDLE_VALUE)
        return hidden_read::no_terminal;
    HANDLE out = open_console("CONOUT$", GENERIC_WRITE);
    const bool is_console = GetConsoleMode(in, &echoing_mode) != 0;
    if (is_console) {
        hidden_input = in;
        SetConsoleCtrlHandler(restore_console, TRUE);
        SetConsoleMode(in, (echoing_mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~DWORD{ENABLE_ECHO_INPUT});
    }
    if (out != INVALID_HANDLE_VALUE)
        write_console(out, prompt);
    hidden_read result = hidden_read::end_of_input;
    char c = 0;
    DWORD got = 0;
    constexpr char end_of_input = 0x1a;  // Ctrl-Z, which the console passes as a byte
    while (ReadFile(in, &c, 1, &got, nullptr) && got == 1 && c != end_of_input) {
        if (c == '\n') {
            result = hidden_read::line;
            break;
        }
        if (c == '\r')
            continue;
        if (line.size() == limit) {
            result = hidden_read::too_long;
            break;
        }
        line.push_back(c);
    }
    c = 0;
    if (out != INVALID_HANDLE_VALUE) {
        write_console(out, "\r\n");
        CloseHandle(out);
    }
    if (is_console) {
        SetConsoleMode(in, echoing_mode);
        SetConsoleCtrlHandler(restore_console, FALSE);
        hidden_input = INVALID_HANDLE_VALUE;
    }
    CloseHandle(in);
    return result;
}

std::FILE *open_descriptor(int fd)
{
    const int copy = _dup(fd);
    if (copy < 0)
        return nullptr;
    std::FILE *stream = _fdopen(copy, "rb");
    if (!stream)
        _close(copy);
    return stream;
}

void use_binary_stdio()
{
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace cli::console
