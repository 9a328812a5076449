// Lines read with a bound, and output that is checked to the last byte.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "secret.h"

namespace cli {

// The longest line taken as a password, a secret key or a DES key.
inline constexpr std::size_t max_line = 4096;

// Reads one line of a stream into line, without its line end (LF or CRLF).
// Returns false at the end of input before any character; throws failure on
// a read error, naming `source`, and usage_error naming `what` and the limit
// when the line is longer than `limit` bytes: reading stops there. `check`,
// when given, sees each byte with its position (from 1) as it is read.
using byte_check = std::function<void(char c, std::size_t position)>;
bool read_line(std::FILE *in, secret_string &line, const std::string &source, const std::string &what,
               std::size_t limit = max_line, const byte_check &check = {});

// A stream closed when it goes out of scope, unless it is stdin or stdout.
struct stream_closer {
    void operator()(std::FILE *file) const
    {
        if (file != stdin && file != stdout)
            std::fclose(file);
    }
};
using stream = std::unique_ptr<std::FILE, stream_closer>;

// Makes a stream read and write straight from and to the caller's memory,
// so that no stdio buffer keeps a copy of a secret or a plaintext. Before
// the stream's first read or write.
void unbuffered(std::FILE *file);

// Opens a file for reading, throwing failure with the reason; "-" is
// standard input.
stream open_input(const std::string &path, const char *mode);

// Writes bytes or closes a stream, throwing failure "write error: reason"
// (write_failure for a write).
void write_bytes(std::FILE *out, const char *data, std::size_t size);
void close_output(std::FILE *out);

// Throws write_failure when a write to the stream has failed, so that long
// work stops at the first failed line.
void check_written(std::FILE *out);

// The reason of an error number, or of a stream failure without one.
std::string reason(int error_number);

}  // namespace cli
