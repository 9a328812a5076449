// The tool's one platform layer: what differs between a POSIX terminal and
// a Windows console. Everything else in the tool is portable C++.
#pragma once

#include <cstdio>
#include <cstddef>

#include "secret.h"

namespace cli::console {

enum class hidden_read {
    line,          // a whole line was read
    end_of_input,  // the input ended (Ctrl-D, Ctrl-Z) before a line end
    no_terminal,   // there is no terminal to ask
    too_long,      // the line went on past the limit; reading stopped there
};

// Writes prompt to the user's terminal (not to stdout, which may be
// redirected) and reads one line from it with echo off. The line end is not
// part of the result, which holds at most `limit` bytes. If a signal that
// ends or stops the tool (or Ctrl-C on a console) arrives meanwhile, the
// terminal gets its echo back before the signal takes its usual effect; a
// signal that the tool inherited as ignored stays ignored.
hidden_read read_hidden_line(const char *prompt, secret_string &line, std::size_t limit);

// A stream reading from an inherited file descriptor, or null with errno
// set. The descriptor itself stays open.
std::FILE *open_descriptor(int fd);

// Puts standard input and output in binary mode where the platform
// translates line ends, so that raw bytes pass unchanged.
void use_binary_stdio();

}  // namespace cli::console
