// POSIX: the tool's one set of signal handlers. Every signal whose default
// action ends the process (all but SIGKILL and SIGSTOP can be caught) first
// removes the new file that the tool is writing and gives the terminal back
// its echo, then takes the action it had before the tool started: the
// default, or a handler that a sanitizer installed. A stop at the keyboard
// shows the input while the tool is stopped and hides it again after.
//
// A signal inherited as ignored stays ignored, and so does SIGPIPE: a write
// to a closed pipe is a write error. A signal whose handler the system (or
// an emulator) refuses keeps its action.
//
// What the handlers read is set only while the signals are held back, so
// that they always see it whole.
#pragma once

#include <csignal>

#include <termios.h>

namespace cli::signals {

// Sets the handlers, once, before anything is written or hidden.
void install();

// Until forget_removal(), an ending signal removes `name` in the folder open
// as `folder` (or AT_FDCWD), as unlinkat(folder, name, 0). False, and
// nothing registered, when the name is longer than the handlers can hold.
bool remove_on_signal(int folder, const char *name);
void forget_removal();

// Until forget_terminal(), a signal sets the terminal on `fd` to `echoing`;
// after a stop, the tool hides it again with `hidden`.
void restore_terminal_on_signal(int fd, const termios &echoing, const termios &hidden);
void forget_terminal();

// Does at once what a signal does first: removes the registered file and
// restores the terminal.
void clean_up();

// Holds back every signal for a scope, so that a file and the name that
// the handlers remove, or a terminal's state and what they restore, change
// as one piece. (A fault that the processor raises meanwhile still ends the
// tool: the system does not let it wait.)
class held {
public:
    held();
    ~held();
    held(const held &) = delete;
    held &operator=(const held &) = delete;

private:
    sigset_t before_;
};

}  // namespace cli::signals
