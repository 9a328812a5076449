// des: DES in ECB or CBC mode on hex data of any whole number of blocks.
#include <iostream>
#include <iterator>

#include "cli.h"
#include "dessec.h"

namespace cli {

namespace {

constexpr std::size_t max_request = 8192;  // bytes per library request

const command_syntax des_syntax{
    "des",
    "usage: dessec des ecb|cbc --encrypt|--decrypt --key HEX [--iv HEX] [DATA]\n"
    "Encrypts or decrypts hex DATA (or hex read from standard input) with single DES.\n"
    "DATA must be a whole number of 8-byte blocks; long data is processed in chained\n"
    "requests of at most 8192 bytes.\n"
    "  --key HEX   16 hex digits\n"
    "  --iv HEX    16 hex digits, cbc only (default: zero)\n",
    {"--encrypt", "--decrypt"}, {"--key", "--iv"}, 1, 2};

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

unsigned mode_word(const parsed_args &args)
{
    const bool encrypt = args.has("--encrypt"), decrypt = args.has("--decrypt");
    if (encrypt == decrypt)
        throw usage_error("des: give exactly one of --encrypt and --decrypt");
    return decrypt ? des_mode_decrypt : des_mode_encrypt;
}

}  // namespace

int cmd_des(const std::vector<std::string> &argv)
{
    parsed_args args;
    if (!parse_args(des_syntax, argv, args))
        return exit_ok;
    const std::string &cipher_mode = args.positional[0];
    if (cipher_mode != "ecb" && cipher_mode != "cbc")
        throw usage_error("des: mode must be ecb or cbc, got '" + cipher_mode + "'");
    const bool cbc = cipher_mode == "cbc";
    const unsigned mode = mode_word(args);
    const std::string *key_hex = args.option("--key");
    if (!key_hex)
        throw usage_error("des: --key is required");
    check_hex("des: --key", *key_hex, 16);
    const std::string *iv_hex = args.option("--iv");
    if (iv_hex && !cbc)
        throw usage_error("des: --iv applies to cbc only");
    if (iv_hex)
        check_hex("des: --iv", *iv_hex, 16);

    const std::string data_hex = strip_space(args.positional.size() > 1
        ? args.positional[1]
        : std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()));
    check_hex("des: data", data_hex);
    if (data_hex.size() % 16 != 0)
        throw usage_error("des: data must be a whole number of 8-byte blocks, got "
                          + std::to_string(data_hex.size() / 2) + " bytes");

    std::string key = bytes_from_hex(*key_hex);
    std::string iv = iv_hex ? bytes_from_hex(*iv_hex) : std::string(8, '\0');
    std::string data = bytes_from_hex(data_hex);
    for (std::size_t at = 0; at < data.size(); at += max_request) {
        const auto len = static_cast<unsigned>(std::min(max_request, data.size() - at));
        const int status = cbc ? cbc_crypt(key.data(), data.data() + at, len, mode, iv.data())
                               : ecb_crypt(key.data(), data.data() + at, len, mode);
        if (status > des_status_done)
            throw failure("des: the library refused the request (status " + std::to_string(status) + ")");
    }
    wipe(key);
    std::string shown = hex_from_bytes(data);
    wipe(data);
    std::cout << shown << "\n";
    wipe(shown);
    return exit_ok;
}

}  // namespace cli
