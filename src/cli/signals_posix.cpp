#include "signals.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace cli::signals {

namespace {

// ---- What the handlers read
// Written only while the signals are held back; fixed buffers, so that a
// handler never allocates nor reads a half-written value.
volatile sig_atomic_t removal_set = 0;
int removal_folder = AT_FDCWD;
char removal_name[4096];

volatile sig_atomic_t terminal_fd = -1;
termios echoing_state{};
termios hidden_state{};

struct sigaction before[NSIG];  // each handled signal's action before the tool's
sigset_t handled;               // the signals that have the tool's handler

// Room for the handlers when a fault comes from a stack that has run out.
alignas(16) char fault_stack[64 * 1024];

// ---- Which signals
// Every signal whose default action ends the process, bar SIGPIPE (ignored:
// a write to a closed pipe is a write error) and SIGKILL; and SIGTSTP, which
// stops it at the keyboard. The real-time signals are added at run time.
constexpr int fixed_signals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF,
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
    SIGTSTP, SIGABRT, SIGSEGV, SIGBUS, SIGSYS, SIGFPE, SIGILL, SIGTRAP,
};

// A fault that the processor raised for an instruction: returning runs the
// instruction again, which then faults with the action restored, so that a
// sanitizer's handler sees the real fault and its address.
bool repeats_on_return(int number, const siginfo_t *info)
{
    const bool fault = number == SIGSEGV || number == SIGBUS || number == SIGFPE || number == SIGILL;
    return fault && info != nullptr && info->si_code > 0;
}

// ---- The handler
void restore_terminal()
{
    const int fd = terminal_fd;
    if (fd >= 0)
        tcsetattr(fd, TCSAFLUSH, &echoing_state);
}

void remove_new_file()
{
    if (removal_set) {
        unlinkat(removal_folder, removal_name, 0);
        removal_set = 0;
    }
}

extern "C" void on_signal(int number, siginfo_t *info, void *context);

struct sigaction own_action()
{
    struct sigaction action {};
    action.sa_sigaction = on_signal;
    action.sa_mask = handled;  // one handler at a time
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    return action;
}

// The stop takes effect inside the handler; once the tool goes on, its
// handler and the hidden input come back.
void stop_then_resume(int number)
{
    sigaction(number, &before[number], nullptr);
    raise(number);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, number);
    sigprocmask(SIG_UNBLOCK, &just_this, nullptr);  // stopped here until SIGCONT
    sigprocmask(SIG_BLOCK, &just_this, nullptr);
    const struct sigaction own = own_action();
    sigaction(number, &own, nullptr);
    const int fd = terminal_fd;
    if (fd >= 0)
        tcsetattr(fd, TCSAFLUSH, &hidden_state);
}

// The action from before is taken when the handler returns: the signal is
// held until then, or the faulting instruction runs again.
extern "C" void on_signal(int number, siginfo_t *info, void *)
{
    const int saved_errno = errno;
    restore_terminal();
    if (number == SIGTSTP) {
        stop_then_resume(number);
    } else {
        remove_new_file();
        sigaction(number, &before[number], nullptr);
        if (!repeats_on_return(number, info))
            raise(number);
    }
    errno = saved_errno;
}

void use_fault_stack()
{
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE))
        return;  // one is set already (a sanitizer's)
    stack_t mine{};
    mine.ss_sp = fault_stack;
    mine.ss_size = sizeof fault_stack;
    sigaltstack(&mine, nullptr);
}

// The signal's current action is kept; an ignored one stays ignored.
bool take_over(int number)
{
    if (number <= 0 || number >= NSIG || sigaction(number, nullptr, &before[number]) != 0)
        return false;
    return (before[number].sa_flags & SA_SIGINFO) || before[number].sa_handler != SIG_IGN;
}

}  // namespace

void install()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);

    sigemptyset(&handled);
    for (int number : fixed_signals)
        if (take_over(number))
            sigaddset(&handled, number);
#ifdef SIGRTMIN
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number)
        if (take_over(number))
            sigaddset(&handled, number);
#endif
    use_fault_stack();
    const struct sigaction own = own_action();
    for (int number = 1; number < NSIG; ++number)
        if (sigismember(&handled, number) == 1 && sigaction(number, &own, nullptr) != 0)
            sigdelset(&handled, number);  // refused (an emulator keeps some): left as it was
}

void clean_up()
{
    const held hold;
    restore_terminal();
    remove_new_file();
}

bool remove_on_signal(int folder, const char *name)
{
    const std::size_t size = std::strlen(name);
    if (size >= sizeof removal_name)
        return false;
    const held hold;
    std::memcpy(removal_name, name, size + 1);
    removal_folder = folder;
    removal_set = 1;
    return true;
}

void forget_removal()
{
    const held hold;
    removal_set = 0;
}

void restore_terminal_on_signal(int fd, const termios &echoing, const termios &hidden)
{
    const held hold;
    echoing_state = echoing;
    hidden_state = hidden;
    terminal_fd = fd;
}

void forget_terminal()
{
    const held hold;
    terminal_fd = -1;
}

held::held()
{
    sigset_t every;
    sigfillset(&every);
    sigprocmask(SIG_BLOCK, &every, &before_);
}

held::~held()
{
    sigprocmask(SIG_SETMASK, &before_, nullptr);
}

}  // namespace cli::signals
