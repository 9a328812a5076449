// Text quoted back in the tool's messages, kept on one line and shown as it
// is: nothing in it can act on the terminal or hide or reorder what follows.
#pragma once

#include <string>
#include <string_view>

namespace cli {

// Bytes below 0x20, 0x7f, a backslash and bytes that are not valid UTF-8
// are escaped as \xNN; the C1 controls, the line and paragraph separators,
// every format character (Unicode category Cf: zero-width, bidirectional,
// tag and other invisible characters) and every code point that Unicode has
// not assigned (a later version may make it a format character) as \uNNNN,
// or \UNNNNNNNN above U+FFFF.
std::string printable(std::string_view text);

// Prints "dessec: warning: TEXT" on stderr.
void warn(const std::string &text);

}  // namespace cli
