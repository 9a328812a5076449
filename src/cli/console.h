// The tool's one platform layer: what differs between a POSIX terminal and
// a Windows console. Everything else in the tool is portable C++.
#pragma once

#include <string>

namespace cli::console {

// Writes prompt to the user's terminal (not to stdout, which may be
// redirected) and reads one line from it with echo off. The line end is
// not part of the result. Returns false when there is no terminal or the
// input ends before a line end.
bool read_hidden_line(const char *prompt, std::string &line);

// Puts standard input and output in binary mode where the platform
// translates line ends, so that raw bytes pass unchanged.
void use_binary_stdio();

}  // namespace cli::console
