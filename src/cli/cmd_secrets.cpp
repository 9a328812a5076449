// seal, open, encrypt-hex and decrypt-hex: hex secrets under a password.
#include <iostream>

#include "cli.h"
#include "dessec.h"

namespace cli {

namespace {

// A text of 16k digits encodes k DES blocks; one request takes at most 1024.
constexpr std::size_t max_hex_digits = 16384;

const command_syntax seal_syntax{
    "seal",
    "usage: dessec seal [--stdin | --password PW] SECRET\n"
    "Seals a 48-digit secret key under a password as a 64-digit secret-key record.\n" + std::string(password_help),
    {"--stdin"}, {"--password"}, 1, 1};

const command_syntax open_syntax{
    "open",
    "usage: dessec open [--stdin | --password PW] RECORD\n"
    "Opens a 64-digit secret-key record and prints the secret key; exit status 1 on a wrong\n"
    "password or a damaged record.\n" + std::string(password_help),
    {"--stdin"}, {"--password"}, 1, 1};

const command_syntax encrypt_syntax{
    "encrypt-hex",
    "usage: dessec encrypt-hex [--stdin | --password PW] HEX\n"
    "Encrypts a hex text of 16, 32, ... 16384 digits under a password.\n" + std::string(password_help),
    {"--stdin"}, {"--password"}, 1, 1};

const command_syntax decrypt_syntax{
    "decrypt-hex",
    "usage: dessec decrypt-hex [--stdin | --password PW] HEX\n"
    "Decrypts a hex text of 16, 32, ... 16384 digits under a password.\n" + std::string(password_help),
    {"--stdin"}, {"--password"}, 1, 1};

void check_whole_blocks(const std::string &what, const std::string &text)
{
    check_hex(what, text, 0, max_hex_digits);
    if (text.size() % 16 != 0)
        throw usage_error(what + ": the number of hex digits must be a multiple of 16, got "
                          + std::to_string(text.size()));
}

using hex_cipher = int (*)(char *, const char *);

int run_hex_cipher(const command_syntax &syntax, hex_cipher cipher, const std::vector<std::string> &argv)
{
    parsed_args args;
    if (!parse_args(syntax, argv, args))
        return exit_ok;
    std::string text = args.positional[0];
    check_whole_blocks(syntax.name, text);
    std::string password = read_password(args);
    const int done = cipher(text.data(), password.c_str());
    wipe(password);
    if (!done) {
        wipe(text);
        throw failure(std::string(syntax.name) + ": the library refused the text");
    }
    std::cout << text << "\n";
    wipe(text);
    return exit_ok;
}

}  // namespace

int cmd_seal(const std::vector<std::string> &argv)
{
    parsed_args args;
    if (!parse_args(seal_syntax, argv, args))
        return exit_ok;
    std::string record = to_lower(args.positional[0]);
    check_hex("seal: secret key", record, 48);
    record.append(record, 0, 16);  // the check digits repeat the key's first 16
    std::string password = read_password(args);
    const int done = xencrypt(record.data(), password.c_str());
    wipe(password);
    if (!done) {
        wipe(record);
        throw failure("seal: the library refused the record");
    }
    std::cout << record << "\n";
    return exit_ok;
}

int cmd_open(const std::vector<std::string> &argv)
{
    parsed_args args;
    if (!parse_args(open_syntax, argv, args))
        return exit_ok;
    std::string record = args.positional[0];
    check_hex("open: record", record, 64);
    std::string password = read_password(args);
    const int opened = decrypt_secret_key(record.data(), password.c_str());
    wipe(password);
    if (!opened) {
        wipe(record);
        throw failure("open: wrong password or damaged record");
    }
    std::cout << record.c_str() << "\n";
    wipe(record);
    return exit_ok;
}

int cmd_encrypt_hex(const std::vector<std::string> &argv)
{
    return run_hex_cipher(encrypt_syntax, xencrypt, argv);
}

int cmd_decrypt_hex(const std::vector<std::string> &argv)
{
    return run_hex_cipher(decrypt_syntax, xdecrypt, argv);
}

}  // namespace cli
