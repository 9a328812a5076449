#include "console.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace cli::console {

namespace {

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

bool read_hidden_line(const char *prompt, std::string &line)
{
    HANDLE in = open_console("CONIN$", GENERIC_READ | GENERIC_WRITE);
    if (in == INVALID_HANDLE_VALUE)
        return false;
    HANDLE out = open_console("CONOUT$", GENERIC_WRITE);
    DWORD saved = 0;
    const bool is_console = GetConsoleMode(in, &saved) != 0;
    if (is_console)
        SetConsoleMode(in, (saved | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~DWORD{ENABLE_ECHO_INPUT});
    if (out != INVALID_HANDLE_VALUE)
        write_console(out, prompt);
    bool ended = false;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(in, &c, 1, &got, nullptr) && got == 1) {
        if (c == '\n') {
            ended = true;
            break;
        }
        if (c != '\r')
            line += c;
    }
    c = 0;
    if (out != INVALID_HANDLE_VALUE) {
        write_console(out, "\r\n");
        CloseHandle(out);
    }
    if (is_console)
        SetConsoleMode(in, saved);
    CloseHandle(in);
    return ended;
}

void use_binary_stdio()
{
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace cli::console
