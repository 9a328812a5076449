#include "hex_input.h"

#include <algorithm>
#include <cctype>

#include "errors.h"
#include "printable.h"
#include "streams.h"

namespace cli {

namespace {

const char *kind_of(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0)
        return "a NUL byte";
    if (byte < 0x20 || byte == 0x7f)
        return "a control character";
    if (byte >= 0x80)
        return "a byte outside ASCII";
    if (byte == ' ')
        return "a space";
    return "a printable character";
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim_blanks(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

void refuse_non_hex(const std::string &what, char c, std::size_t position, bool secret)
{
    const std::string at = " at position " + std::to_string(position);
    if (secret)
        throw usage_error(what + ": " + kind_of(c) + at + " is not a hex digit");
    throw usage_error(what + ": '" + std::string(1, c) + "'" + at + " is not a hex digit");
}

secret_string read_hex_secret(const secret_argument &secret, const std::string &what, hex_rule rule,
                              std::optional<files::identity> *file_read)
{
    if (!secret.text.empty() && !secret.file.empty())
        throw usage_error(what + ": give it either as an argument or in a file, not both");
    secret_string value;
    if (secret.from_stdin() || !secret.file.empty()) {
        const bool from_stdin = secret.from_stdin();
        const stream in = from_stdin ? stream(stdin) : open_input(secret.file, "r");
        const std::string source = from_stdin ? "standard input" : "'" + secret.file + "'";
        unbuffered(in.get());
        if (file_read && !from_stdin)
            *file_read = files::identify_descriptor(fileno(in.get()));
        const auto check = [&](char c, std::size_t position) {
            if (!std::isxdigit(static_cast<unsigned char>(c)) && !is_blank(c))
                refuse_non_hex(what, c, position, true);
        };
        if (!read_line(in.get(), value, source, what, std::max(max_line, rule.max_digits), check))
            throw usage_error(what + ": nothing to read from " + source);
    } else {
        warn(what + " given on the command line can be seen by other users");
        value = secret_string(secret.text);
    }
    rule.secret = true;
    secret_string trimmed(trim_blanks(value.view()));
    check_hex(what, trimmed.view(), rule);
    return trimmed;
}

void check_hex(const std::string &what, std::string_view text, hex_rule rule)
{
    if (text.empty())
        throw usage_error(what + ": empty; expected hex digits");
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])))
            refuse_non_hex(what, text[i], i + 1, rule.secret);
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

void to_lower(secret_string &text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        text.data()[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
}

}  // namespace cli
