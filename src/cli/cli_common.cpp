#include "cli.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>

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

std::string reason(int error_number)
{
    return error_number != 0 ? std::strerror(error_number) : "the stream reports a failure";
}

// The length of the UTF-8 sequence that starts text[at], or 0 when the
// bytes there are not valid UTF-8 (overlong forms and surrogates included).
std::size_t utf8_length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else
        return 0;
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf)
            return 0;
    }
    return length;
}

void append_escaped(std::string &out, unsigned char c)
{
    static const char digits[] = "0123456789abcdef";
    switch (c) {
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\\': out += "\\\\"; return;
    default:
        out += "\\x";
        out += digits[c >> 4];
        out += digits[c & 15];
    }
}

}  // namespace

CLI::App &command_registry::add(const std::string &name, const std::string &summary, const std::string &help,
                                std::function<int()> run)
{
    auto parser = std::make_unique<CLI::App>(help, "dessec " + name);
    parser->formatter(std::make_shared<help_formatter>());
    CLI::App &declared = *parser;
    commands_.push_back({name, summary, std::move(parser), std::move(run)});
    return declared;
}

std::string printable(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = utf8_length(text, i);
            if (length != 0) {
                out.append(text.substr(i, length));
                i += length;
                continue;
            }
        }
        if (c < 0x20 || c == 0x7f || c == '\\' || c >= 0x80)
            append_escaped(out, c);
        else
            out += static_cast<char>(c);
        ++i;
    }
    return out;
}

void warn(const std::string &text)
{
    std::cerr << "dessec: warning: " << printable(text) << "\n";
}

bool read_line(std::FILE *in, std::string &line, const std::string &source)
{
    line.clear();
    line.reserve(1024);  // no growth leaves a copy of a password's start behind
    int c = EOF;
    while ((c = std::getc(in)) != EOF && c != '\n')
        line += static_cast<char>(c);
    if (std::ferror(in))
        throw failure("read error on " + source + ": " + reason(errno));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return c == '\n' || !line.empty();
}

stream open_file(const std::string &path, const char *mode)
{
    stream file(std::fopen(path.c_str(), mode));
    if (!file)
        throw failure("cannot open '" + path + "': " + reason(errno));
    return file;
}

void write_bytes(std::FILE *out, const char *data, std::size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, out) != size)
        throw failure("write error: " + reason(errno));
}

void close_output(std::FILE *out)
{
    // A write that failed earlier left its reason in errno and the stream's
    // error flag set; nothing since has touched errno but further output.
    const int earlier_errno = std::ferror(out) ? errno : 0;
    errno = 0;
    const bool flushed = std::fflush(out) == 0 && !std::ferror(out);
    const int flush_errno = earlier_errno != 0 ? earlier_errno : errno;
    errno = 0;
    const bool closed = std::fclose(out) == 0;
    if (!flushed || !closed)
        throw failure("write error: " + reason(flushed ? errno : flush_errno));
}

std::string read_secret(const secret_argument &secret, const std::string &what)
{
    if (!secret.text.empty() && !secret.file.empty())
        throw usage_error(what + ": give it either as an argument or in a file, not both");
    std::string value;
    if (secret.from_stdin() || !secret.file.empty()) {
        const bool from_stdin = secret.from_stdin();
        const stream in = from_stdin ? stream(stdin) : open_file(secret.file, "r");
        const std::string source = from_stdin ? "standard input" : "'" + secret.file + "'";
        if (!read_line(in.get(), value, source))
            throw usage_error(what + ": nothing to read from " + source);
    } else {
        warn(what + " given on the command line can be seen by other users");
        value = secret.text;
    }
    const auto first = value.find_first_not_of(" \t");
    const auto last = value.find_last_not_of(" \t");
    std::string trimmed = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    wipe(value);
    return trimmed;
}

void check_hex(const std::string &what, const std::string &text, hex_rule rule)
{
    if (text.empty())
        throw usage_error(what + ": empty; expected hex digits");
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])))
            throw usage_error(what + ": '" + std::string(1, text[i]) + "' at position " + std::to_string(i + 1)
                              + " is not a hex digit");
    }
    if (rule.digits != 0 && text.size() != rule.digits)
        throw usage_error(what + ": expected " + std::to_string(rule.digits) + " hex digits, got "
                          + std::to_string(text.size()));
    if (text.size() % 2 != 0 && !rule.odd_allowed)
        throw usage_error(what + ": odd number of hex digits (" + std::to_string(text.size()) + ")");
    if (rule.max_digits != 0 && text.size() > rule.max_digits)
        throw usage_error(what + ": at most " + std::to_string(rule.max_digits) + " hex digits, got "
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
