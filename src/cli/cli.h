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

namespace CLI {
class App;
}

namespace cli {

// Exit statuses: 0 success or a match, 1 a failed check or operation,
// 2 misuse or input the tool cannot handle.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One command: its parser (which holds the declaration of its options) and
// what runs once the arguments are parsed.
struct command {
    std::string name;
    std::string summary;
    std::unique_ptr<CLI::App> parser;
    std::function<int()> run;
};

class command_registry {
public:
    // Declares a command; help is the text above the option list of
    // `dessec NAME --help`. The returned parser takes the options.
    CLI::App &add(const std::string &name, const std::string &summary, const std::string &help,
                  std::function<int()> run);
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
// backslash and bytes that are not valid UTF-8 are escaped.
std::string printable(std::string_view text);

// Prints "dessec: warning: TEXT" on stderr.
void warn(const std::string &text);

// Reads one line of a stream into line, without its line end. Returns false
// at the end of input before any character; throws failure on a read error,
// naming `source`.
bool read_line(std::FILE *in, std::string &line, const std::string &source);

// A stream closed when it goes out of scope, unless it is stdin or stdout.
struct stream_closer {
    void operator()(std::FILE *file) const
    {
        if (file != stdin && file != stdout)
            std::fclose(file);
    }
};
using stream = std::unique_ptr<std::FILE, stream_closer>;

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

// Returns the secret with surrounding white space removed; a secret taken
// from the command line warns that other users can see it.
std::string read_secret(const secret_argument &secret, const std::string &what);

// Checked hex input: throws usage_error naming `what` for an empty text, a
// character that is not a hex digit, an odd number of digits (unless
// odd_allowed), or a count of digits other than `digits` (when not 0) or
// above `max_digits` (when not 0).
struct hex_rule {
    std::size_t digits = 0;
    std::size_t max_digits = 0;
    bool odd_allowed = false;
};
void check_hex(const std::string &what, const std::string &text, hex_rule rule = {});

std::string to_lower(std::string text);

// Wipes a buffer or a string that held a password or a secret key, in
// stores that the compiler may not drop as dead.
void wipe(char *secret, std::size_t size);
void wipe(std::string &secret);

}  // namespace cli
