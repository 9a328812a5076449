#include "console.h"

#include <cerrno>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "signals.h"

namespace cli::console {

namespace {

// Until the input is shown again, a signal that ends or stops the tool
// gives the terminal its echo back first.
void hide_input(int fd, const termios &echoing)
{
    termios hidden = echoing;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    const signals::held held;  // the terminal and what a signal restores change together
    signals::restore_terminal_on_signal(fd, echoing, hidden);
    tcsetattr(fd, TCSAFLUSH, &hidden);
}

void show_input(int fd, const termios &echoing)
{
    const signals::held held;
    tcsetattr(fd, TCSAFLUSH, &echoing);
    signals::forget_terminal();
}

void write_text(int fd, const char *text)
{
    std::size_t size = 0;
    while (text[size] != '\0')
        ++size;
    while (size > 0) {
        const ssize_t done = write(fd, text, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return;
        text += done;
        size -= static_cast<std::size_t>(done);
    }
}

// Reads up to a line end, one byte at a time, so that no buffer keeps a
// copy of the line and nothing after it is taken from the terminal.
hidden_read read_to_line_end(int fd, secret_string &line, std::size_t limit)
{
    for (;;) {
        char c = 0;
        const ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;  // back from a stop
        if (got <= 0)
            return hidden_read::end_of_input;
        if (c == '\n')
            return hidden_read::line;
        if (line.size() == limit)
            return hidden_read::too_long;
        line.push_back(c);
    }
}

}  // namespace

hidden_read read_hidden_line(const char *prompt, secret_string &line, std::size_t limit)
{
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return hidden_read::no_terminal;
    termios echoing{};
    const bool is_terminal = tcgetattr(fd, &echoing) == 0;
    if (is_terminal)
        hide_input(fd, echoing);
    write_text(fd, prompt);
    const hidden_read result = read_to_line_end(fd, line, limit);
    write_text(fd, "\n");
    if (is_terminal)
        show_input(fd, echoing);
    close(fd);
    return result;
}

std::FILE *open_descriptor(int fd)
{
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return nullptr;
    std::FILE *stream = fdopen(copy, "r");
    if (!stream)
        close(copy);
    return stream;
}

void use_binary_stdio() {}

}  // namespace cli::console
