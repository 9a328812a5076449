// des: DES in ECB or CBC mode, on hex data or streamed on raw bytes.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <vector>

#include "cli.h"
#include "console.h"
#include "dessec.h"

namespace cli {

namespace {

constexpr std::size_t max_request = 8192;  // bytes per library request
constexpr std::size_t block = 8;

struct des_options {
    std::string cipher_mode;
    bool encrypt = false;
    bool decrypt = false;
    secret_argument key;
    std::string iv;
    std::string data;
    bool binary = false;
    std::string in;
    std::string out;
    bool no_pad = false;
};

// One chain of requests under one key; the vector carries over in CBC.
class des_chain {
public:
    des_chain(std::string key, std::string iv, bool cbc, bool decrypt)
        : key_(std::move(key)), iv_(std::move(iv)), cbc_(cbc), mode_(decrypt ? des_mode_decrypt : des_mode_encrypt)
    {
    }
    ~des_chain() { wipe(key_); }
    des_chain(const des_chain &) = delete;
    des_chain &operator=(const des_chain &) = delete;

    // data: a whole number of blocks, at most max_request bytes.
    void run(char *data, std::size_t size)
    {
        const auto len = static_cast<unsigned>(size);
        const int status = cbc_ ? cbc_crypt(key_.data(), data, len, mode_, iv_.data())
                                : ecb_crypt(key_.data(), data, len, mode_);
        if (status > des_status_done)
            throw failure("des: the library refused the request (status " + std::to_string(status) + ")");
    }

private:
    std::string key_;
    std::string iv_;
    bool cbc_;
    unsigned mode_;
};

std::string strip_space(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            out += c;
    }
    return out;
}

std::string bytes_from_hex(const std::string &hex)
{
    std::string out(hex.size() / 2, '\0');
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return out;
}

std::string hex_from_bytes(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * bytes.size());  // no growth leaves a copy behind
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Reads until size bytes or the end of the input; returns how many.
std::size_t read_chunk(std::FILE *in, char *data, std::size_t size, const std::string &source)
{
    std::size_t got = 0;
    while (got < size) {
        const std::size_t n = std::fread(data + got, 1, size - got, in);
        if (n == 0)
            break;
        got += n;
    }
    if (std::ferror(in))
        throw failure("read error on " + source + ": " + std::strerror(errno));
    return got;
}

std::string read_all_stdin()
{
    std::string text;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = read_chunk(stdin, chunk, sizeof chunk, "standard input")) > 0)
        text.append(chunk, got);
    return text;
}

int run_hex(const des_options &options, des_chain &chain)
{
    const std::string data_hex = strip_space(!options.data.empty() ? options.data : read_all_stdin());
    check_hex("des: data", data_hex);
    if (data_hex.size() % (2 * block) != 0)
        throw usage_error("des: data must be a whole number of 8-byte blocks, got "
                          + std::to_string(data_hex.size() / 2) + " bytes");
    std::string data = bytes_from_hex(data_hex);
    for (std::size_t at = 0; at < data.size(); at += max_request)
        chain.run(data.data() + at, std::min(max_request, data.size() - at));
    std::string shown = hex_from_bytes(data);
    wipe(data);
    std::cout << shown << "\n";
    wipe(shown);
    return exit_ok;
}

// Streams raw bytes through the chain in requests of max_request bytes. With
// padding, encryption ends in 1 to 8 pad bytes of that value (PKCS#7), and
// decryption holds each chunk's last block back until it knows whether the
// block ends the stream, so that a bad pad leaves only good blocks written.
class des_stream {
public:
    des_stream(des_chain &chain, std::FILE *in, std::FILE *out, std::string source, bool pad)
        : chain_(chain), in_(in), out_(out), source_(std::move(source)), pad_(pad), buffer_(max_request)
    {
    }
    ~des_stream() { wipe(buffer_.data(), buffer_.size()); }
    des_stream(const des_stream &) = delete;
    des_stream &operator=(const des_stream &) = delete;

    void encrypt()
    {
        for (;;) {
            std::size_t size = read_chunk(in_, buffer_.data(), max_request, source_);
            const bool last = size < max_request;
            if (last && pad_) {
                const std::size_t pad = block - size % block;
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

    void decrypt()
    {
        char held[block];
        bool holding = false;
        for (;;) {
            const std::size_t size = read_chunk(in_, buffer_.data(), max_request, source_);
            check_whole_blocks(size);
            chain_.run(buffer_.data(), size);
            std::size_t ready = size;
            if (pad_ && size > 0) {
                if (holding)
                    write_bytes(out_, held, block);
                ready -= block;
                std::copy_n(buffer_.data() + ready, block, held);
                holding = true;
            }
            write_bytes(out_, buffer_.data(), ready);
            if (size < max_request)
                break;
        }
        if (pad_)
            write_unpadded(held, holding);
        wipe(held, block);
    }

private:
    void check_whole_blocks(std::size_t size) const
    {
        if (size % block != 0)
            throw failure("des: the input ends inside a block (" + std::to_string(size % block)
                          + " bytes over a multiple of 8)" + (pad_ ? "" : "; --no-pad needs whole blocks"));
    }

    void write_unpadded(char *last, bool present)
    {
        const auto pad = present ? static_cast<unsigned char>(last[block - 1]) : 0u;
        bool good = pad >= 1 && pad <= block;
        for (std::size_t i = block - (good ? pad : 0); i < block && good; ++i)
            good = static_cast<unsigned char>(last[i]) == pad;
        if (!good) {
            wipe(last, block);
            throw failure("des: bad padding at the end: wrong key or IV, or data without padding");
        }
        write_bytes(out_, last, block - pad);
    }

    des_chain &chain_;
    std::FILE *in_;
    std::FILE *out_;
    std::string source_;
    bool pad_;
    std::vector<char> buffer_;
};

int run_binary(const des_options &options, des_chain &chain)
{
    console::use_binary_stdio();
    const stream in = options.in.empty() ? stream(stdin) : open_file(options.in, "rb");
    stream out = options.out.empty() ? stream(stdout) : open_file(options.out, "wb");
    const std::string source = options.in.empty() ? "standard input" : "'" + options.in + "'";
    {
        des_stream bytes(chain, in.get(), out.get(), source, !options.no_pad);
        if (options.decrypt)
            bytes.decrypt();
        else
            bytes.encrypt();
    }
    if (out.get() != stdout)
        close_output(out.release());  // stdout is closed, and checked, on the way out
    return exit_ok;
}

int run_des(const des_options &options)
{
    if (options.cipher_mode != "ecb" && options.cipher_mode != "cbc")
        throw usage_error("des: mode must be ecb or cbc, got '" + options.cipher_mode + "'");
    const bool cbc = options.cipher_mode == "cbc";
    if (options.encrypt == options.decrypt)
        throw usage_error("des: give exactly one of --encrypt and --decrypt");
    if (!options.key.given())
        throw usage_error("des: --key or --key-file is required");
    if (!options.iv.empty() && !cbc)
        throw usage_error("des: --iv applies to cbc only");
    if (!options.iv.empty())
        check_hex("des: --iv", options.iv, {.digits = 16});
    if (!options.binary && (!options.in.empty() || !options.out.empty() || options.no_pad))
        throw usage_error("des: --in, --out and --no-pad apply to --binary only");
    if (options.binary && !options.data.empty())
        throw usage_error("des: --binary reads its data from --in or standard input, not the command line");
    if (options.key.from_stdin())
        throw usage_error("des: the key cannot come from standard input, which holds the data; use --key-file");

    std::string key_hex = read_secret(options.key, "des: the key");
    check_hex("des: the key", key_hex, {.digits = 16});
    des_chain chain(bytes_from_hex(key_hex), options.iv.empty() ? std::string(block, '\0') : bytes_from_hex(options.iv),
                    cbc, options.decrypt);
    wipe(key_hex);
    return options.binary ? run_binary(options, chain) : run_hex(options, chain);
}

}  // namespace

void declare_des_commands(command_registry &registry)
{
    auto des = std::make_shared<des_options>();
    CLI::App &parser = registry.add(
        "des", "DES in ECB or CBC mode, on hex data or streamed on files",
        "usage: dessec des ecb|cbc --encrypt|--decrypt --key-file FILE|--key HEX [--iv HEX] [DATA]\n"
        "       dessec des ecb|cbc --encrypt|--decrypt --key-file FILE|--key HEX [--iv HEX]\n"
        "                  --binary [--no-pad] [--in FILE] [--out FILE]\n"
        "Encrypts or decrypts with single DES in chained requests of at most 8192 bytes.\n"
        "Hex mode: DATA (or hex read from standard input) is a whole number of 8-byte blocks,\n"
        "and the result is printed in hex.\n"
        "Binary mode: raw bytes from FILE or standard input go to FILE or standard output in\n"
        "constant memory, padded as PKCS#7 unless --no-pad (the output equals that of the usual\n"
        "DES-ECB and DES-CBC file tools with the same key and IV). A bad pad on decryption gives\n"
        "exit status 1 after the good blocks.\n",
        [des] { return run_des(*des); });
    parser.add_option("MODE", des->cipher_mode, "ecb or cbc")->required();
    parser.add_option("DATA", des->data, "hex data (hex mode); standard input without it");
    auto *encrypt = parser.add_flag("--encrypt,-e", des->encrypt, "encrypt");
    auto *decrypt = parser.add_flag("--decrypt,-d", des->decrypt, "decrypt");
    encrypt->excludes(decrypt);
    auto *key = parser.add_option("--key", des->key.text, "the key, 16 hex digits (other users can see it)")
                    ->type_name("HEX");
    auto *key_file = parser.add_option("--key-file", des->key.file, "read the key (16 hex digits) from FILE")
                         ->type_name("FILE");
    key->excludes(key_file);
    parser.add_option("--iv", des->iv, "the starting vector, 16 hex digits, cbc only (default: zero)")
        ->type_name("HEX");
    parser.add_flag("--binary", des->binary, "stream raw bytes instead of hex");
    parser.add_option("--in", des->in, "binary mode: read from FILE (default: standard input)")->type_name("FILE");
    parser.add_option("--out", des->out, "binary mode: write to FILE (default: standard output)")->type_name("FILE");
    parser.add_flag("--no-pad", des->no_pad, "binary mode: no padding; the data must be whole blocks");
}

}  // namespace cli
