#include "streams.h"

#include <cerrno>
#include <cstring>

#include "errors.h"

namespace cli {

std::string reason(int error_number)
{
    return error_number != 0 ? std::strerror(error_number) : "the stream reports a failure";
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

stream open_input(const std::string &path, const char *mode)
{
    if (path == "-")
        return stream(stdin);
    stream file(std::fopen(path.c_str(), mode));
    if (!file)
        throw failure("cannot open '" + path + "': " + reason(errno));
    return file;
}

void write_bytes(std::FILE *out, const char *data, std::size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, out) != size)
        throw write_failure("write error: " + reason(errno), out);
}

void check_written(std::FILE *out)
{
    if (std::ferror(out))
        throw write_failure("write error: " + reason(errno), out);
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

}  // namespace cli
