// dessec: the command-line tool over the library's public interface.
#include <cstring>
#include <iostream>

#include <dessec.h>

#include "cli.h"

namespace {

struct command_entry {
    const char *name;
    cli::command_fn run;
    const char *summary;
};

const command_entry commands[] = {
    {"keygen", cli::cmd_keygen, "make a Diffie-Hellman key pair in the fixed group"},
    {"agree", cli::cmd_agree, "compute the common key of a secret key and a peer's public key"},
    {"seal", cli::cmd_seal, "seal a secret key under a password as a secret-key record"},
    {"open", cli::cmd_open, "open a secret-key record with its password"},
    {"encrypt-hex", cli::cmd_encrypt_hex, "encrypt a hex text under a password"},
    {"decrypt-hex", cli::cmd_decrypt_hex, "decrypt a hex text under a password"},
    {"hash", cli::cmd_hash, "hash a password (DES-based, traditional or extended)"},
    {"verify", cli::cmd_verify, "check a password against a stored hash"},
    {"des", cli::cmd_des, "DES in ECB or CBC mode on hex data"},
};

void print_help()
{
    std::cout << "usage: dessec COMMAND [OPTIONS]   (dessec COMMAND --help for details)\n\ncommands:\n";
    for (const auto &c : commands)
        std::cout << "  " << c.name << std::string(13 - std::strlen(c.name), ' ') << c.summary << "\n";
    std::cout << "\n  --version    print the version\n";
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::cerr << "dessec: missing command (see dessec --help)\n";
        return cli::exit_usage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h") {
        print_help();
        return cli::exit_ok;
    }
    if (name == "--version") {
        std::cout << "dessec " << DESSEC_VERSION_STRING << "\n";
        return cli::exit_ok;
    }
    for (const auto &c : commands) {
        if (name != c.name)
            continue;
        try {
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
        } catch (const cli::usage_error &e) {
            std::cerr << "dessec: " << e.what() << "\n";
            return cli::exit_usage;
        } catch (const std::exception &e) {
            std::cerr << "dessec: " << e.what() << "\n";
            return cli::exit_failure;
        }
    }
    std::cerr << "dessec: unknown command '" << name << "' (see dessec --help)\n";
    return cli::exit_usage;
}
