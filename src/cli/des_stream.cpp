#include "des_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "dessec.h"
#include "errors.h"
#include "streams.h"

namespace cli {

des_chain::des_chain(secret_string key, const des_vector &iv, bool cbc, bool decrypt)
    : key_(std::move(key)), iv_(iv), cbc_(cbc), mode_(decrypt ? des_mode_decrypt : des_mode_encrypt)
{
}

void des_chain::run(char *data, std::size_t size)
{
    const auto len = static_cast<unsigned>(size);
    const int status = cbc_ ? cbc_crypt(key_.data(), data, len, mode_, iv_.data())
                            : ecb_crypt(key_.data(), data, len, mode_);
    if (status > des_status_done)
        throw failure("des: the library refused the request (status " + std::to_string(status) + ")");
}

des_stream::des_stream(des_chain &chain, std::FILE *in, std::FILE *out, std::string source, bool pad)
    : chain_(chain), in_(in), out_(out), source_(std::move(source)), pad_(pad), buffer_(max_request)
{
}

// Reads until max_request bytes or the end of the input; returns how many.
std::size_t des_stream::read_chunk()
{
    std::size_t got = 0;
    while (got < max_request) {
        const std::size_t n = std::fread(buffer_.data() + got, 1, max_request - got, in_);
        if (n == 0)
            break;
        got += n;
    }
    if (std::ferror(in_))
        throw failure("read error on " + source_ + ": " + std::strerror(errno));
    return got;
}

void des_stream::encrypt()
{
    for (;;) {
        std::size_t size = read_chunk();
        const bool last = size < max_request;
        if (last && pad_) {
            const std::size_t pad = des_block - size % des_block;
            std::fill_n(buffer_.data() + size, pad, static_cast<char>(pad));
            size += pad;
        }
        if (last)
            check_whole_blocks(size);
        chain_.run(buffer_.data(), size);
        write_bytes(out_, buffer_.data(), size);
        if (last)
            return;
    }
}

void des_stream::decrypt()
{
    secret_string held(des_block);
    bool holding = false;
    for (;;) {
        const std::size_t size = read_chunk();
        check_whole_blocks(size);
        chain_.run(buffer_.data(), size);
        std::size_t ready = size;
        if (pad_ && size > 0) {
            if (holding)
                write_bytes(out_, held.data(), des_block);
            ready -= des_block;
            std::copy_n(buffer_.data() + ready, des_block, held.data());
            holding = true;
        }
        write_bytes(out_, buffer_.data(), ready);
        if (size < max_request)
            break;
    }
    if (pad_)
        write_unpadded(held.data(), holding);
}

void des_stream::check_whole_blocks(std::size_t size) const
{
    if (size % des_block != 0)
        throw failure("des: the input ends inside a block (" + std::to_string(size % des_block)
                      + " bytes over a multiple of 8)" + (pad_ ? "" : "; --no-pad needs whole blocks"));
}

void des_stream::write_unpadded(const char *last, bool present)
{
    const auto pad = present ? static_cast<unsigned char>(last[des_block - 1]) : 0u;
    bool good = pad >= 1 && pad <= des_block;
    for (std::size_t i = des_block - (good ? pad : 0); i < des_block && good; ++i)
        good = static_cast<unsigned char>(last[i]) == pad;
    if (!good)
        throw failure("des: bad padding at the end: wrong key or IV, or data without padding");
    write_bytes(out_, last, des_block - pad);
}

}  // namespace cli
