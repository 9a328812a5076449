// des: DES in ECB or CBC mode, on hex data or streamed on raw bytes.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <vector>

#include "commands.h"
#include "console.h"
#include "des_stream.h"
#include "dessec.h"
#include "hex_input.h"
#include "output_file.h"
#include "printable.h"
#include "streams.h"

namespace cli {

namespace {

// Hex mode holds its data whole; larger data goes through --binary.
constexpr std::size_t max_hex_bytes = 1048576;
constexpr std::size_t max_hex_digits = 2 * max_hex_bytes;

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

// Collects the hex digits of the data one character at a time, skipping
// white space, so that a bad character or one digit too many ends the
// reading where it stands.
class hex_data {
public:
    void take(char c)
    {
        ++position_;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            return;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            refuse_non_hex("des: data", c, position_, true);
        if (digits_.size() == max_hex_digits)
            throw usage_error("des: data: more than the limit of " + std::to_string(max_hex_bytes)
                              + " bytes in hex mode; --binary streams any size");
        digits_.push_back(c);
    }
    const secret_string &digits() const { return digits_; }

private:
    secret_string digits_;
    std::size_t position_ = 0;
};

secret_string hex_from_stdin()
{
    unbuffered(stdin);
    hex_data data;
    secret_string chunk(4096);
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), stdin)) > 0) {
        for (std::size_t i = 0; i < got; ++i)
            data.take(chunk[i]);
    }
    if (std::ferror(stdin))
        throw failure(std::string("read error on standard input: ") + std::strerror(errno));
    return data.digits();
}

secret_string hex_from_argument(const std::string &text)
{
    warn("des: data given on the command line can be seen by other users");
    hex_data data;
    for (char c : text)
        data.take(c);
    return data.digits();
}

// Bytes from checked hex digits, by the library's own codec.
secret_string bytes_from_hex(const secret_string &hex)
{
    secret_string bytes(hex.size() / 2);
    hex2bin(static_cast<int>(bytes.size()), hex.c_str(), reinterpret_cast<unsigned char *>(bytes.data()));
    return bytes;
}

int run_hex(const des_options &options, des_chain &chain)
{
    const secret_string data_hex = !options.data.empty() ? hex_from_argument(options.data) : hex_from_stdin();
    check_hex("des: data", data_hex.view(), {.secret = true});
    if (data_hex.size() % (2 * des_block) != 0)
        throw usage_error("des: data must be a whole number of 8-byte blocks, got "
                          + std::to_string(data_hex.size() / 2) + " bytes");
    secret_string data = bytes_from_hex(data_hex);
    for (std::size_t at = 0; at < data.size(); at += max_request)
        chain.run(data.data() + at, std::min(max_request, data.size() - at));
    secret_string shown(2 * data.size());
    bin2hex(static_cast<int>(data.size()), reinterpret_cast<const unsigned char *>(data.c_str()), shown.data());
    std::cout << shown.c_str() << "\n";
    return exit_ok;
}

int run_binary(const des_options &options, des_chain &chain, const std::optional<files::identity> &key_file)
{
    console::use_binary_stdio();
    const bool from_stdin = options.in.empty() || options.in == "-";
    const stream in = from_stdin ? stream(stdin) : open_input(options.in, "rb");
    unbuffered(in.get());
    std::vector<read_file> reads{{from_stdin ? "standard input" : "--in", fileno(in.get()), std::nullopt}};
    if (key_file)
        reads.push_back({"--key-file", -1, key_file});
    output_file out("des: --out", options.out, reads);
    unbuffered(out.get());
    const std::string source = from_stdin ? "standard input" : "'" + options.in + "'";
    des_stream bytes(chain, in.get(), out.get(), source, !options.no_pad);
    if (options.decrypt)
        bytes.decrypt();
    else
        bytes.encrypt();
    out.commit();
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

    std::optional<files::identity> key_file;
    const secret_string key_hex = read_hex_secret(options.key, "des: the key", {.digits = 16}, &key_file);
    des_vector iv{};
    if (!options.iv.empty())
        hex2bin(des_block, options.iv.c_str(), reinterpret_cast<unsigned char *>(iv.data()));
    des_chain chain(bytes_from_hex(key_hex), iv, cbc, options.decrypt);
    return options.binary ? run_binary(options, chain, key_file) : run_hex(options, chain);
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
        "Encrypts or decrypts with single DES in chained requests of at most "
            + std::to_string(DESSEC_DES_MAX_LEN) + " bytes.\n"
        "Hex mode: DATA (or hex read from standard input) is a whole number of 8-byte blocks,\n"
        "at most 1048576 bytes, and the result is printed in hex. The hex is checked as it is\n"
        "read; a fault is named by its position, never by its character.\n"
        "Binary mode: raw bytes from FILE or standard input go to FILE or standard output in\n"
        "constant memory, padded as PKCS#7 unless --no-pad (the output equals that of the usual\n"
        "DES-ECB and DES-CBC file tools with the same key and IV). A bad pad on decryption gives\n"
        "exit status 1: standard output then holds the good blocks, an --out file is left as it\n"
        "was. --out writes a new file and renames it over FILE only on success, with FILE's\n"
        "owner, group and mode (0600 for a new FILE); it refuses a symbolic link, a folder, a\n"
        "socket, a mount point, a file that the command reads, a file with other hard links,\n"
        "one you may not write and another user's file or FIFO in a shared sticky folder (exit\n"
        "status 2). A device or a pipe is written in place; - is standard input or output.\n",
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
    parser.add_option("--in", des->in, "binary mode: read from FILE, - for standard input (the default)")
        ->type_name("FILE");
    parser.add_option("--out", des->out, "binary mode: write to FILE, - for standard output (the default)")
        ->type_name("FILE");
    parser.add_flag("--no-pad", des->no_pad, "binary mode: no padding; the data must be whole blocks");
}

}  // namespace cli
