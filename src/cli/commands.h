// The tool's commands: each declares its options on a parser of its own,
// in one file per service.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "errors.h"

namespace CLI {
class App;
}

namespace cli {

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

}  // namespace cli
