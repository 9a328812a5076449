#include "console.h"

#include <cstdio>

#include <termios.h>
#include <unistd.h>

namespace cli::console {

bool read_hidden_line(const char *prompt, std::string &line)
{
    std::FILE *tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return false;
    std::setvbuf(tty, nullptr, _IONBF, 0);  // no stream buffer keeps a copy of the line
    const int fd = fileno(tty);
    termios saved{};
    const bool is_terminal = tcgetattr(fd, &saved) == 0;
    if (is_terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::fputs(prompt, tty);
    int c = EOF;
    while ((c = std::fgetc(tty)) != EOF && c != '\n')
        line += static_cast<char>(c);
    std::fputs("\n", tty);
    if (is_terminal)
        tcsetattr(fd, TCSAFLUSH, &saved);
    std::fclose(tty);
    return c == '\n';
}

void use_binary_stdio() {}

}  // namespace cli::console
