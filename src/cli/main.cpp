// dessec: the command-line tool over the library's public interface.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include <dessec.h>

#include "cli.h"

namespace {

void print_help(const cli::command_registry &registry)
{
    std::cout << "usage: dessec COMMAND [OPTIONS] [ARGUMENTS]   (dessec COMMAND --help for details)\n\n"
                 "commands:\n";
    for (const auto &c : registry.commands())
        std::cout << "  " << c.name << std::string(14 - c.name.size(), ' ') << c.summary << "\n";
    std::cout << "\noptions:\n"
                 "  -h, --help    print this help\n"
                 "  --version     print the version\n"
                 "\npasswords:\n"
                 "  Read from the terminal with echo off; seal, encrypt-hex, hash and reseal ask twice\n"
                 "  there and refuse the empty password unless --allow-empty-password is given.\n"
                 "  --stdin, --password-fd N and --password-file FILE read one password per line\n"
                 "  instead; input that ends before a line is an error. --password PW works but\n"
                 "  warns, since other users can see it.\n"
                 "\nsecrets:\n"
                 "  Secret keys, DES keys and hex texts can come from standard input (-) or a file\n"
                 "  (--secret-file, --key-file) instead of the command line, where they warn.\n"
                 "\nexit status:\n"
                 "  0  success, or a match\n"
                 "  1  a failed check or operation: wrong password, mismatch, bad padding, a read or\n"
                 "     write error\n"
                 "  2  misuse, input the tool cannot handle (an unsupported hash, a refused key)\n";
}

// Errors are one line: whatever they quote is escaped.
void print_error(const std::string &message)
{
    std::cerr << "dessec: " << cli::printable(message) << "\n";
}

int run_command(const cli::command &c, const std::vector<std::string> &args)
{
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // the order the parser takes
    try {
        c.parser->parse(reversed);
    } catch (const CLI::CallForHelp &) {
        std::cout << c.parser->help();
        return cli::exit_ok;
    } catch (const CLI::ParseError &e) {
        print_error(c.name + ": " + e.what() + " (see dessec " + c.name + " --help)");
        return cli::exit_usage;
    }
    return c.run();
}

// stdout is checked to its last byte: a full disk is a failure, not a success.
int finish_output(int status)
{
    try {
        cli::close_output(stdout);
    } catch (const cli::failure &e) {
        print_error(e.what());
        return cli::exit_failure;
    }
    return status;
}

int dispatch(const cli::command_registry &registry, int argc, char **argv)
{
    if (argc < 2) {
        print_error("missing command (see dessec --help)");
        return cli::exit_usage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h") {
        print_help(registry);
        return cli::exit_ok;
    }
    if (name == "--version") {
        std::cout << "dessec " << DESSEC_VERSION_STRING << "\n";
        return cli::exit_ok;
    }
    const auto &commands = registry.commands();
    const auto found = std::find_if(commands.begin(), commands.end(), [&](const auto &c) { return c.name == name; });
    if (found == commands.end()) {
        print_error("unknown command '" + name + "' (see dessec --help)");
        return cli::exit_usage;
    }
    try {
        return run_command(*found, std::vector<std::string>(argv + 2, argv + argc));
    } catch (const cli::usage_error &e) {
        print_error(e.what());
        return cli::exit_usage;
    } catch (const std::exception &e) {
        print_error(e.what());
        return cli::exit_failure;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    cli::command_registry registry;
    cli::declare_key_commands(registry);
    cli::declare_secret_commands(registry);
    cli::declare_passwd_commands(registry);
    cli::declare_des_commands(registry);
    return finish_output(dispatch(registry, argc, argv));
}
