// dessec: the command-line tool over the library's public interface.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

#include <dessec.h>

#include "commands.h"
#include "password.h"
#include "printable.h"
#include "process.h"
#include "secret.h"
#include "streams.h"

namespace {

// Standard output's buffer: the tool's own, so that the secret keys and
// plaintexts it held are wiped once the stream is closed, rather than left
// in memory that stdio frees.
char stdout_buffer[BUFSIZ];

// A failed write to standard output, once reported, is not reported again
// when standard output is closed.
bool stdout_failure_reported = false;

// The shared password text, indented as a section of this help.
std::string indented(const std::string &text)
{
    std::string out = "  ";
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\n' && i + 1 < text.size())
            out += "  ";
    }
    return out;
}

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
              << indented(cli::password_rules())
              << "\nsecrets:\n"
                 "  Secret keys, DES keys and hex texts can come from standard input (-) or a file\n"
                 "  (--secret-file, --key-file) instead of the command line, where they warn. A line\n"
                 "  of a key is at most 4096 bytes, a hex text at most what its command takes; hex is\n"
                 "  checked as it is read. A message about a secret names the position and the kind\n"
                 "  of the fault, never its characters.\n"
                 "\nfiles:\n"
                 "  A file named by --out is written as a new file in its folder, synced, and renamed\n"
                 "  over the target only when the command succeeds: on a failure, a crash or a signal\n"
                 "  the target keeps its old content and no part of the new file is left (where a file\n"
                 "  system takes no unnamed files, a kill -9 leaves a hidden .dessec-*). The new file\n"
                 "  takes the owner, group and mode of the file it replaces (not its ACLs or extended\n"
                 "  attributes); a file that did not exist is made with mode 0600. --out refuses, with\n"
                 "  status 2 and before writing anything, a symbolic link, a folder, a socket, a mount\n"
                 "  point, a file that the command reads (--in, standard input, the key file; for a\n"
                 "  device, any node of the same device), a file with other hard links, one you may not\n"
                 "  write, and in a world-writable sticky folder a file or FIFO of another user. A\n"
                 "  device or a pipe is written in place as a stream; - and /dev/stdout are standard\n"
                 "  output, and /dev/fd/N and /proc/self/fd/N the open descriptor N, which is checked\n"
                 "  against what the command reads when it holds a file or a disk. --in - is standard\n"
                 "  input.\n"
                 "\nexit status:\n"
                 "  0  success, or a match\n"
                 "  1  a failed check or operation: wrong password, bad padding, a read or write\n"
                 "     error (a full disk, a closed pipe); for verify only a mismatch\n"
                 "  2  misuse, input the tool cannot handle (an unsupported hash, a refused key, input\n"
                 "     past a limit, a NUL in a password, an --out target it refuses); for verify\n"
                 "     any error other than a mismatch\n"
                 "\nsafety:\n"
                 "  The tool holds passwords, keys and plaintexts only in memory that it wipes, and\n"
                 "  makes itself one that no core dump or debugger of another process captures.\n";
}

// Errors are one line: whatever they quote is escaped.
void print_error(const std::string &message)
{
    std::cerr << "dessec: " << cli::printable(message) << "\n";
}

// From fixed text, which needs no more memory.
void print_out_of_memory()
{
    std::fputs("dessec: out of memory\n", stderr);
}

// The status of a command that fails: verify keeps 1 for a mismatch alone.
int failure_status = cli::exit_failure;

void note_command(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "verify") == 0)
        failure_status = cli::exit_usage;
}

// Where memory runs out so far that not even the exception can be made,
// the runtime ends the tool here: still one line and the failure status.
[[noreturn]] void on_terminate()
{
    const std::exception_ptr active = std::current_exception();
    bool memory = !active;
    if (active) {
        try {
            std::rethrow_exception(active);
        } catch (const std::bad_alloc &) {
            memory = true;
        } catch (...) {
        }
    }
    std::fputs(memory ? "dessec: out of memory\n" : "dessec: internal error\n", stderr);
    cli::process::end_now(failure_status);
}

// An empty value of an option or argument is never taken for one not given
// (`--out ""` is no standard output, `--rounds ""` no default count, `des`
// DATA "" no data from standard input): only the empty password is a value
// of its own. An argument that must be given is its command's to check (an
// empty HASH is a malformed hash).
void refuse_empty_values(const cli::command &c)
{
    for (const CLI::Option *option : c.parser->get_options()) {
        if (option->get_expected_min() == 0 || option->get_name() == "--password"
            || (!option->nonpositional() && option->get_required()))
            continue;
        for (const std::string &value : option->results()) {
            if (value.empty())
                throw cli::usage_error(c.name + ": " + option->get_name() + ": an empty value (see dessec " + c.name
                                       + " --help)");
        }
    }
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
    try {
        refuse_empty_values(c);
        return c.run();
    } catch (const cli::usage_error &e) {
        print_error(e.what());
        return cli::exit_usage;
    } catch (const std::bad_alloc &) {
        print_out_of_memory();
        return c.error_status;
    } catch (const cli::write_failure &e) {
        print_error(e.what());
        stdout_failure_reported = e.stream == stdout;
        return c.error_status;
    } catch (const std::exception &e) {
        print_error(e.what());
        return c.error_status;
    }
}

// stdout is checked to its last byte: a full disk is a failure, not a success.
int finish_output(int status, int error_status)
{
    try {
        cli::close_output(stdout);
    } catch (const cli::failure &e) {
        if (!stdout_failure_reported)
            print_error(e.what());
        return error_status;
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
    if ((name == "--help" || name == "-h" || name == "--version") && argc > 2) {
        print_error("unexpected argument '" + std::string(argv[2]) + "' after " + name + " (see dessec --help)");
        return cli::exit_usage;
    }
    if (name == "--help" || name == "-h") {
        print_help(registry);
        return finish_output(cli::exit_ok, cli::exit_failure);
    }
    if (name == "--version") {
        std::cout << "dessec " << DESSEC_VERSION_STRING << "\n";
        return finish_output(cli::exit_ok, cli::exit_failure);
    }
    const auto &commands = registry.commands();
    const auto found = std::find_if(commands.begin(), commands.end(), [&](const auto &c) { return c.name == name; });
    if (found == commands.end()) {
        print_error("unknown command '" + name + "' (see dessec --help)");
        return cli::exit_usage;
    }
    const int status = run_command(*found, std::vector<std::string>(argv + 2, argv + argc));
    return finish_output(status, found->error_status);
}

}  // namespace

void cli::process::before_static_objects(int argc, char **argv)
{
    note_command(argc, argv);
    std::set_terminate(on_terminate);
}

int main(int argc, char **argv)
{
    cli::process::protect();
    cli::process::before_static_objects(argc, argv);
    std::setvbuf(stdout, stdout_buffer, _IOLBF, sizeof stdout_buffer);
    int status = cli::exit_ok;
    try {
        cli::command_registry registry;
        cli::declare_key_commands(registry);
        cli::declare_secret_commands(registry);
        cli::declare_passwd_commands(registry);
        cli::declare_des_commands(registry);
        status = dispatch(registry, argc, argv);
    } catch (const std::bad_alloc &) {
        print_out_of_memory();
        status = failure_status;
    }
    cli::wipe(stdout_buffer, sizeof stdout_buffer);
    return status;
}
