#include "console.h"

#include <cerrno>
#include <csignal>
#include <iterator>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "signals_held_posix.h"

namespace cli::console {

namespace {

// What a signal handler needs to give the terminal its echo back. Written
// while the handlers are blocked or not installed, and only read by them.
volatile sig_atomic_t hidden_fd = -1;
termios echoing_state{};
termios hidden_state{};

constexpr int restoring_signals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP};
constexpr std::size_t signal_count = std::size(restoring_signals);
struct sigaction inherited[signal_count];  // each signal's action before the prompt

extern "C" void restore_then_resend(int signal_number);

void set_handler(int signal_number, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int s : restoring_signals)
        sigaddset(&action.sa_mask, s);  // one restoring handler at a time
    sigaction(signal_number, &action, nullptr);
}

// Restores the terminal, lets the signal take its usual effect and, when
// that was a stop and the process goes on, hides the input again.
extern "C" void restore_then_resend(int signal_number)
{
    const int saved_errno = errno;
    const int fd = hidden_fd;
    if (fd >= 0)
        tcsetattr(fd, TCSAFLUSH, &echoing_state);
    set_handler(signal_number, SIG_DFL);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, signal_number);
    raise(signal_number);
    sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
    set_handler(signal_number, restore_then_resend);
    if (fd >= 0)
        tcsetattr(fd, TCSAFLUSH, &hidden_state);
    errno = saved_errno;
}

// The restoring signals are held back while the terminal and the handlers
// change together: a signal that comes meanwhile is taken after, with the
// handler that matches the terminal's state.
void hide_input(int fd)
{
    const signals_held held(restoring_signals);
    hidden_state = echoing_state;
    hidden_state.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    hidden_fd = fd;
    for (std::size_t i = 0; i < signal_count; ++i) {
        sigaction(restoring_signals[i], nullptr, &inherited[i]);
        if (inherited[i].sa_handler != SIG_IGN)  // ignored by whoever started the tool: stays so
            set_handler(restoring_signals[i], restore_then_resend);
    }
    tcsetattr(fd, TCSAFLUSH, &hidden_state);
}

void show_input(int fd)
{
    const signals_held held(restoring_signals);
    tcsetattr(fd, TCSAFLUSH, &echoing_state);
    for (std::size_t i = 0; i < signal_count; ++i)
        sigaction(restoring_signals[i], &inherited[i], nullptr);
    hidden_fd = -1;
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
    const bool is_terminal = tcgetattr(fd, &echoing_state) == 0;
    if (is_terminal)
        hide_input(fd);
    write_text(fd, prompt);
    const hidden_read result = read_to_line_end(fd, line, limit);
    write_text(fd, "\n");
    if (is_terminal)
        show_input(fd);
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
