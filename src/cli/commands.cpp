#include "commands.h"

#include <CLI/CLI.hpp>

namespace cli {

namespace {

// Help as this tool writes it: the command's own text, then its arguments
// and options as the parser lists them.
class help_formatter : public CLI::Formatter {
public:
    std::string make_description(const CLI::App *app) const override { return app->get_description(); }
    std::string make_usage(const CLI::App *, std::string) const override { return ""; }
    std::string make_option_opts(const CLI::Option *option) const override
    {
        const std::string type = option->get_type_name();
        return type.empty() ? type : " " + type;
    }
};

}  // namespace

CLI::App &command_registry::add(const std::string &name, const std::string &summary, const std::string &help,
                                std::function<int()> run, int error_status)
{
    auto parser = std::make_unique<CLI::App>(help, "dessec " + name);
    parser->formatter(std::make_shared<help_formatter>());
    CLI::App &declared = *parser;
    commands_.push_back({name, summary, std::move(parser), std::move(run), error_status});
    return declared;
}

}  // namespace cli
