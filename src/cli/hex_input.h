// Hex texts and secrets as the commands take them: checked as they are read,
// and never quoted back when secret.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "files.h"
#include "secret.h"

namespace cli {

// A secret given on the command line as TEXT, as "-" (the first line of
// standard input) or in a file (the file's first line).
struct secret_argument {
    std::string text;
    std::string file;
    bool given() const { return !text.empty() || !file.empty(); }
    bool from_stdin() const { return text == "-" || file == "-"; }
};

// Checked hex input: throws usage_error naming `what` for an empty text, a
// character that is not a hex digit, an odd number of digits (unless
// odd_allowed), or a count of digits other than `digits` (when not 0) or
// above `max_digits` (when not 0). The character at fault is quoted unless
// the text is secret: then its position and its kind alone are named.
struct hex_rule {
    std::size_t digits = 0;
    std::size_t max_digits = 0;
    bool odd_allowed = false;
    bool secret = false;
};
void check_hex(const std::string &what, std::string_view text, hex_rule rule = {});

// Throws usage_error for a character c at `position` (from 1) that is not a
// hex digit, as check_hex does.
void refuse_non_hex(const std::string &what, char c, std::size_t position, bool secret);

// The secret (a hex text) with surrounding blanks removed, checked by rule.
// A line read from a file or standard input is checked as it is read, and
// bounded at max_line bytes or max_digits, the larger. A secret taken from
// the command line warns that other users can see it. With `file_read`, what
// the descriptor of a file read showed, so that an output can be compared
// with the file itself rather than with whatever its name holds later.
secret_string read_hex_secret(const secret_argument &secret, const std::string &what, hex_rule rule,
                              std::optional<files::identity> *file_read = nullptr);

std::string to_lower(std::string text);
void to_lower(secret_string &text);

}  // namespace cli
