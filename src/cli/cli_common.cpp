#include "cli.h"

#include "console.h"

#include <cctype>
#include <iostream>

namespace cli {

const std::string *parsed_args::option(const std::string &name) const
{
    const auto it = options.find(name);
    return it == options.end() ? nullptr : &it->second;
}

bool parse_args(const command_syntax &syntax, const std::vector<std::string> &args, parsed_args &out)
{
    const std::string command = syntax.name;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << syntax.usage;
            return false;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            if (syntax.flags.count(arg)) {
                out.flags.insert(arg);
            } else if (syntax.options.count(arg)) {
                if (i + 1 == args.size())
                    throw usage_error(command + ": option " + arg + " needs a value");
                if (!out.options.emplace(arg, args[++i]).second)
                    throw usage_error(command + ": option " + arg + " given twice");
            } else {
                throw usage_error(command + ": unknown option " + arg + " (see dessec " + command + " --help)");
            }
        } else {
            out.positional.push_back(arg);
        }
    }
    if (out.positional.size() < syntax.min_positional)
        throw usage_error(command + ": missing argument (see dessec " + command + " --help)");
    if (out.positional.size() > syntax.max_positional)
        throw usage_error(command + ": unexpected argument '" + out.positional[syntax.max_positional] + "'");
    return true;
}

namespace {

// Room for the password read, so that a growing string leaves no copy of
// its start behind in freed memory.
constexpr std::size_t password_room = 1024;

void strip_line_end(std::string &line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
}

// The password is stripped in place and returned without a copy.
std::string read_password_from_stdin()
{
    std::string line;
    line.reserve(password_room);
    if (!std::getline(std::cin, line))
        throw usage_error("--stdin: no password on standard input");
    strip_line_end(line);
    return line;
}

std::string read_password_from_terminal()
{
    std::string line;
    line.reserve(password_room);
    if (!console::read_hidden_line("Password: ", line))
        throw usage_error("no password read from a terminal: use --stdin");
    strip_line_end(line);
    return line;
}

}  // namespace

std::string read_password(const parsed_args &args)
{
    const std::string *given = args.option(password_option);
    if (given && args.has(password_flag_stdin))
        throw usage_error("give the password either with --password or with --stdin, not both");
    if (given) {
        std::cerr << "dessec: warning: a password given on the command line can be seen by other users\n";
        return *given;
    }
    if (args.has(password_flag_stdin))
        return read_password_from_stdin();
    return read_password_from_terminal();
}

void check_hex(const std::string &what, const std::string &text, std::size_t digits, std::size_t max_digits)
{
    if (text.empty())
        throw usage_error(what + ": empty; expected hex digits");
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])))
            throw usage_error(what + ": '" + std::string(1, text[i]) + "' at position " + std::to_string(i + 1)
                              + " is not a hex digit");
    }
    if (digits != 0 && text.size() != digits)
        throw usage_error(what + ": expected " + std::to_string(digits) + " hex digits, got "
                          + std::to_string(text.size()));
    if (text.size() % 2 != 0)
        throw usage_error(what + ": odd number of hex digits (" + std::to_string(text.size()) + ")");
    if (max_digits != 0 && text.size() > max_digits)
        throw usage_error(what + ": at most " + std::to_string(max_digits) + " hex digits, got "
                          + std::to_string(text.size()));
}

std::string to_lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void wipe(char *secret, std::size_t size)
{
    volatile char *p = secret;
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

void wipe(std::string &secret)
{
    wipe(secret.data(), secret.size());
    secret.clear();
}

}  // namespace cli
