// Where a command's passwords come from: the terminal with echo off, the
// lines of standard input, of a file descriptor or of a file, or (with a
// warning) the command line.
#pragma once

#include <optional>
#include <string>

#include "streams.h"

namespace CLI {
class App;
}

namespace cli {

struct password_options {
    bool from_stdin = false;
    std::string on_command_line;
    bool on_command_line_given = false;
    std::optional<int> fd;
    std::string file;
    bool allow_empty = false;
};

// Declares --stdin, --password-fd, --password-file and, where a single
// password is asked, --password; `creating` adds --allow-empty-password.
void declare_password_options(CLI::App &parser, password_options &options, bool creating,
                              bool single = true);

// Help text on passwords: for the tool's own help, and for a command that
// creates something (asked twice, --allow-empty-password) and asks a single
// password (--password), as declare_password_options declares them.
std::string password_rules();
std::string password_rules(bool creating, bool single = true);

class password_source {
public:
    explicit password_source(const password_options &options);
    password_source(const password_source &) = delete;
    password_source &operator=(const password_source &) = delete;

    // A password that checks something (open, verify, the old one of reseal).
    // Every password is a line of at most max_line bytes without a NUL.
    secret_string checking(const char *prompt);

    // A password that creates something: refused when empty (unless
    // allowed), asked twice on the terminal, and a warning when it is longer
    // than `counted` characters (0: every character counts).
    secret_string creating(const char *prompt, std::size_t counted);

    // The next line of a stream source, for one password per line; false at
    // the end of the input. Throws usage_error on the terminal.
    bool next_line(secret_string &line);

    // Refuses an empty new password unless allowed and warns about
    // characters beyond the `counted` ones.
    void check_new(const secret_string &password, std::size_t counted) const;

    bool uses_stdin() const { return options_.from_stdin; }

private:
    secret_string read_one(const char *prompt);

    const password_options &options_;
    stream stream_;
};

}  // namespace cli
