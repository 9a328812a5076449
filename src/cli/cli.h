// Shared pieces of the dessec tool: argument parsing, checked hex input,
// password input and the errors that map to exit statuses.
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// Exit statuses: 0 success, 1 a failed check or operation, 2 misuse.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The arguments of one command, split into flags, options with a value and
// positional arguments. Anything not declared is a usage error.
struct parsed_args {
    std::set<std::string> flags;
    std::map<std::string, std::string> options;
    std::vector<std::string> positional;

    bool has(const std::string &flag) const { return flags.count(flag) != 0; }
    const std::string *option(const std::string &name) const;
};

struct command_syntax {
    const char *name;
    std::string usage;  // full help text, printed by --help
    std::set<std::string> flags;
    std::set<std::string> options;
    std::size_t min_positional;
    std::size_t max_positional;
};

// Parses args against the syntax; throws usage_error on misuse. Returns false
// when --help was asked for (the help has then been printed).
bool parse_args(const command_syntax &syntax, const std::vector<std::string> &args, parsed_args &out);

// Password options shared by the commands that take one.
inline const char *const password_flag_stdin = "--stdin";
inline const char *const password_option = "--password";
inline const char *const password_help =
    "  --stdin            read the password from the first line of standard input\n"
    "  --password PW      take the password from the command line (visible to other users)\n"
    "Without either, the password is read from the terminal without echo.\n";

std::string read_password(const parsed_args &args);

// Checked hex input: throws usage_error naming `what` for an empty text, an
// odd number of digits, a character that is not a hex digit, or a count of
// digits other than `digits` (when digits is not 0) or above `max_digits`.
void check_hex(const std::string &what, const std::string &text, std::size_t digits = 0,
               std::size_t max_digits = 0);

std::string to_lower(std::string text);

// Wipes a buffer or a string that held a password or a secret key, in
// stores that the compiler may not drop as dead.
void wipe(char *secret, std::size_t size);
void wipe(std::string &secret);

using command_fn = int (*)(const std::vector<std::string> &args);

int cmd_keygen(const std::vector<std::string> &args);
int cmd_agree(const std::vector<std::string> &args);
int cmd_seal(const std::vector<std::string> &args);
int cmd_open(const std::vector<std::string> &args);
int cmd_encrypt_hex(const std::vector<std::string> &args);
int cmd_decrypt_hex(const std::vector<std::string> &args);
int cmd_hash(const std::vector<std::string> &args);
int cmd_verify(const std::vector<std::string> &args);
int cmd_des(const std::vector<std::string> &args);

}  // namespace cli
