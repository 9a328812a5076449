// Shared pieces of the dessec tool: the command registry, the errors that
// map to exit statuses, checked input of hex texts and secrets, and output
// that is checked to the last byte.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "secret.h"

namespace CLI {
class App;
}

namespace cli {

// Exit statuses: 0 success or a match, 1 a failed check or operation,
// 2 misuse or input the tool cannot handle.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

// The longest line taken as a password, a secret key or a DES key.
inline constexpr std::size_t max_line = 4096;

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One command: its parser (which holds the declaration of its options),
// what runs once the arguments are parsed, and the status of its errors
// (verify keeps 1 for a mismatch alone).
struct command {
    std::string name;
    std::string summary;
    std::unique_ptr<CLI::App> parser;
    std::function<int()> run;
    int error_status = exit_failure;
};

class command_registry {
public:
    // Declares a command; help is the text above the option list of
    // `dessec NAME --help`. The returned parser takes the options.
    CLI::App &add(const std::string &name, const std::string &summary, const std::string &help,
                  std::function<int()> run, int error_status = exit_failure);
    const std::vector<command> &commands() const { return commands_; }

private:
    std::vector<command> commands_;
};

// One file per service declares its commands.
void declare_key_commands(command_registry &registry);     // keygen, agree
void declare_secret_commands(command_registry &registry);  // seal, open, reseal, encrypt-hex, decrypt-hex
void declare_passwd_commands(command_registry &registry);  // hash, verify
void declare_des_commands(command_registry &registry);     // des

// Quotes text back in a message on one line: bytes below 0x20, 0x7f, a
// backslash and bytes that are not valid UTF-8 are escaped as \xNN, the C1
// controls and the characters that reorder or hide text as \uNNNN.
std::string printable(std::string_view text);

// Prints "dessec: warning: TEXT" on stderr.
void warn(const std::string &text);

// Reads one line of a stream into line, without its line end (LF or CRLF).
// Returns false at the end of input before any character; throws failure on
// a read error, naming `source`, and usage_error naming `what` and the limit
// when the line is longer than `limit` bytes: reading stops there. `check`,
// when given, sees each byte with its position (from 1) as it is read.
using byte_check = std::function<void(char c, std::size_t position)>;
bool read_line(std::FILE *in, secret_string &line, const std::string &source, const std::string &what,
               std::size_t limit = max_line, const byte_check &check = {});

// A stream closed when it goes out of scope, unless it is stdin or stdout.
struct stream_closer {
    void operator()(std::FILE *file) const
    {
        if (file != stdin && file != stdout)
            std::fclose(file);
    }
};
using stream = std::unique_ptr<std::FILE, stream_closer>;

// Makes a stream read and write straight from and to the caller's memory,
// so that no stdio buffer keeps a copy of a secret or a plaintext. Before
// the stream's first read or write.
void unbuffered(std::FILE *file);

// Opens a file for reading or writing, throwing failure with the reason.
stream open_file(const std::string &path, const char *mode);

// Writes bytes or closes a stream, throwing failure "write error: reason".
void write_bytes(std::FILE *out, const char *data, std::size_t size);
void close_output(std::FILE *out);

// A secret given on the command line as TEXT, as "-" (the first line of
// standard input) or in a file (the file's first line).
struct secret_argument {
    std::string text;
    std::string file;
    bool given() const { return !text.empty() || !file.empty(); }
    bool from_stdin() const { return text == "-"; }
};

// Checked hex input: throws usage_error naming `what` for an empty text, a
// character that is not a hex digit, an odd number of digits (unless
// odd_allowed), or a count of digits other than `digits` (when not 0) or
// above `max_digits` (when not 0). The character at fault is quoted unless
// the text is secret: then its position and its kind alone are named.
struct hex_rule {
    std::size_t digits = 0;
    std::size_t max_digits = 0;
    bool odd_allowed = false;
    bool secret = false;
};
void check_hex(const std::string &what, std::string_view text, hex_rule rule = {});

// Throws usage_error for a character c at `position` (from 1) that is not a
// hex digit, as check_hex does.
void refuse_non_hex(const std::string &what, char c, std::size_t position, bool secret);

// The secret (a hex text) with surrounding blanks removed, checked by rule.
// A line read from a file or standard input is checked as it is read, and
// bounded at max_line bytes or max_digits, the larger. A secret taken from
// the command line warns that other users can see it.
secret_string read_hex_secret(const secret_argument &secret, const std::string &what, hex_rule rule);

std::string to_lower(std::string text);
void to_lower(secret_string &text);

}  // namespace cli
