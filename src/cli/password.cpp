#include "password.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>

#include "console.h"
#include "errors.h"
#include "printable.h"

namespace cli {

namespace {

constexpr const char *stream_rules =
    "--stdin, --password-fd N and --password-file FILE read one password per line instead\n"
    "(LF or CRLF); the end of the input before a line is an error. A password is at most\n"
    "4096 bytes and holds no NUL byte.\n";

}  // namespace

std::string password_rules()
{
    return std::string("Passwords are read from the terminal with echo off; seal, encrypt-hex, hash and reseal\n"
                       "ask twice there and refuse the empty password unless --allow-empty-password is given.\n")
           + stream_rules
           + "Where a command asks one password, --password PW works but warns, since other\n"
             "users can see it; reseal, which asks two, takes none.\n";
}

std::string password_rules(bool creating, bool single)
{
    std::string text = creating ? "Passwords are read from the terminal with echo off; a new one is asked twice there,\n"
                                  "and the empty password is refused unless --allow-empty-password is given.\n"
                                : "Passwords are read from the terminal with echo off.\n";
    text += stream_rules;
    text += single ? "--password PW works but warns, since other users can see it.\n"
                   : "No password is taken from the command line.\n";
    return text;
}

void declare_password_options(CLI::App &parser, password_options &options, bool creating, bool single)
{
    auto *in = parser.add_flag("--stdin", options.from_stdin,
                               "read the password from a line of standard input");
    auto *fd = parser.add_option("--password-fd", options.fd,
                                 "read the password from a line of the open file descriptor N")
                   ->type_name("N");
    auto *file = parser.add_option("--password-file", options.file, "read the password from a line of FILE")
                     ->type_name("FILE");
    in->excludes(fd)->excludes(file);
    fd->excludes(file);
    if (single) {
        parser
            .add_option_function<std::string>(
                "--password",
                [&options](const std::string &value) {
                    options.on_command_line = value;
                    options.on_command_line_given = true;
                },
                "take the password from the command line (other users can see it)")
            ->type_name("PW")
            ->excludes(in)
            ->excludes(fd)
            ->excludes(file);
    }
    if (creating)
        parser.add_flag("--allow-empty-password", options.allow_empty, "accept the empty password");
}

password_source::password_source(const password_options &options) : options_(options)
{
    if (options.from_stdin) {
        stream_.reset(stdin);
    } else if (options.fd) {
        if (*options.fd < 0)
            throw usage_error("--password-fd: a file descriptor is not negative, got " + std::to_string(*options.fd));
        stream_.reset(console::open_descriptor(*options.fd));
        if (!stream_)
            throw usage_error("--password-fd " + std::to_string(*options.fd) + ": " + std::strerror(errno));
    } else if (!options.file.empty()) {
        stream_ = open_input(options.file, "r");
    }
    if (stream_)
        unbuffered(stream_.get());
}

namespace {

// The library reads a password up to its first NUL, so one inside would
// shorten it in silence.
void refuse_nul(const secret_string &password)
{
    const auto at = password.view().find('\0');
    if (at != std::string_view::npos)
        throw usage_error("the password holds a NUL byte at position " + std::to_string(at + 1));
}

}  // namespace

secret_string password_source::read_one(const char *prompt)
{
    if (options_.on_command_line_given) {
        warn("a password given on the command line can be seen by other users");
        return secret_string(options_.on_command_line);
    }
    secret_string line;
    if (stream_) {
        if (!next_line(line))
            throw usage_error("no password: the input ended before a line");
        return line;
    }
    // Memory that runs out while the input is hidden would leave the
    // terminal silent: the room for the longest line is taken first.
    line.reserve(max_line);
    switch (console::read_hidden_line(prompt, line, max_line)) {
    case console::hidden_read::line:
        refuse_nul(line);
        return line;
    case console::hidden_read::end_of_input:
        throw usage_error("no password: the input ended at the prompt");
    case console::hidden_read::too_long:
        throw usage_error("the password: a line longer than the limit of " + std::to_string(max_line) + " bytes");
    case console::hidden_read::no_terminal:
        break;
    }
    throw usage_error("no terminal to ask the password: use --stdin, --password-fd or --password-file");
}

bool password_source::next_line(secret_string &line)
{
    if (!stream_)
        throw usage_error("one password per line needs --stdin, --password-fd or --password-file");
    const std::string source = options_.from_stdin ? "standard input"
                               : options_.fd ? "--password-fd " + std::to_string(*options_.fd)
                                                   : "'" + options_.file + "'";
    const bool got = read_line(stream_.get(), line, source, "the password");
    refuse_nul(line);
    return got;
}

secret_string password_source::checking(const char *prompt)
{
    return read_one(prompt);
}

secret_string password_source::creating(const char *prompt, std::size_t counted)
{
    const bool on_terminal = !stream_ && !options_.on_command_line_given;
    secret_string password = read_one(prompt);
    if (on_terminal && !(read_one("Verifying - Password: ") == password))
        throw failure("the two passwords differ");
    check_new(password, counted);
    return password;
}

void password_source::check_new(const secret_string &password, std::size_t counted) const
{
    if (password.empty() && !options_.allow_empty)
        throw usage_error("the empty password is refused (give --allow-empty-password to accept it)");
    if (counted != 0 && password.size() > counted)
        warn("only the first " + std::to_string(counted) + " characters of the password count");
}

}  // namespace cli
