#include "cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
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

// The code point of a valid UTF-8 sequence of `length` bytes at text[at].
char32_t code_point(std::string_view text, std::size_t at, std::size_t length)
{
    static constexpr unsigned char lead_bits[] = {0, 0, 0x1f, 0x0f, 0x07};
    char32_t value = static_cast<unsigned char>(text[at]) & lead_bits[length];
    for (std::size_t i = 1; i < length; ++i)
        value = value << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3fu);
    return value;
}

// Characters that are valid but act on the terminal or on the order and
// visibility of the text around them: the C1 controls, the bidirectional
// marks, embeddings, overrides and isolates, and the line and paragraph
// separators.
bool acts_on_display(char32_t c)
{
    return (c >= 0x80 && c <= 0x9f) || c == 0x61c || c == 0x200e || c == 0x200f || (c >= 0x2028 && c <= 0x202e)
           || (c >= 0x2066 && c <= 0x2069);
}

void append_code_point(std::string &out, char32_t c)
{
    char text[12];
    std::snprintf(text, sizeof text, "\\u%04x", static_cast<unsigned>(c));
    out += text;
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
                                std::function<int()> run, int error_status)
{
    auto parser = std::make_unique<CLI::App>(help, "dessec " + name);
    parser->formatter(std::make_shared<help_formatter>());
    CLI::App &declared = *parser;
    commands_.push_back({name, summary, std::move(parser), std::move(run), error_status});
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
                const char32_t point = code_point(text, i, length);
                if (acts_on_display(point))
                    append_code_point(out, point);
                else
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

bool read_line(std::FILE *in, secret_string &line, const std::string &source, const std::string &what,
               std::size_t limit, const byte_check &check)
{
    line.clear();
    int c = EOF;
    while ((c = std::getc(in)) != EOF && c != '\n') {
        if (c == '\r') {
            // CRLF ends a line as LF does, and so does a CR at the end.
            const int next = std::getc(in);
            if (next == '\n' || next == EOF) {
                c = next == '\n' || !line.empty() ? '\n' : EOF;
                break;
            }
            std::ungetc(next, in);
        }
        if (line.size() == limit)
            throw usage_error(what + ": a line longer than the limit of " + std::to_string(limit) + " bytes");
        if (check)
            check(static_cast<char>(c), line.size() + 1);
        line.push_back(static_cast<char>(c));
    }
    if (std::ferror(in))
        throw failure("read error on " + source + ": " + reason(errno));
    return c == '\n' || !line.empty();
}

void unbuffered(std::FILE *file)
{
    std::setvbuf(file, nullptr, _IONBF, 0);
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

secret_string read_hex_secret(const secret_argument &secret, const std::string &what, hex_rule rule)
{
    if (!secret.text.empty() && !secret.file.empty())
        throw usage_error(what + ": give it either as an argument or in a file, not both");
    secret_string value;
    if (secret.from_stdin() || !secret.file.empty()) {
        const bool from_stdin = secret.from_stdin();
        const stream in = from_stdin ? stream(stdin) : open_file(secret.file, "r");
        const std::string source = from_stdin ? "standard input" : "'" + secret.file + "'";
        unbuffered(in.get());
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

void wipe(void *secret, std::size_t size)
{
    volatile auto *p = static_cast<volatile unsigned char *>(secret);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

}  // namespace cli
