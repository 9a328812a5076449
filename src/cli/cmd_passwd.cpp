// hash and verify: DES-based password hashes.
#include <cstring>
#include <iostream>

#include "cli.h"
#include "dessec.h"

namespace cli {

namespace {

const char crypt64_alphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr long max_rounds = 16777215;  // four 6-bit count characters

const command_syntax hash_syntax{
    "hash",
    "usage: dessec hash [--salt SS] [--stdin | --password PW]\n"
    "       dessec hash --rounds N [--salt SSSS] [--stdin | --password PW]\n"
    "Hashes a password in the traditional DES-based form (2-character salt, 8 password\n"
    "characters count), or with --rounds in the extended form (N from 1 to 16777215,\n"
    "4-character salt, every password character counts). Salt characters come from\n"
    "./0-9A-Za-z; without --salt a random salt is drawn.\n" + std::string(password_help),
    {"--stdin"}, {"--password", "--salt", "--rounds"}, 0, 0};

const command_syntax verify_syntax{
    "verify",
    "usage: dessec verify [--stdin | --password PW] HASH\n"
    "Checks a password against a DES-based or \"$1$\" hash: exit status 0 on a match,\n"
    "1 on a mismatch.\n" + std::string(password_help),
    {"--stdin"}, {"--password"}, 1, 1};

void check_salt(const std::string &salt, std::size_t length)
{
    if (salt.size() != length)
        throw usage_error("hash: --salt needs " + std::to_string(length) + " characters, got "
                          + std::to_string(salt.size()));
    for (char c : salt) {
        if (c == '\0' || !std::strchr(crypt64_alphabet, c))
            throw usage_error(std::string("hash: salt character '") + c + "' is not one of ./0-9A-Za-z");
    }
}

long parse_rounds(const std::string &text)
{
    const bool digits_only = !text.empty() && text.size() <= 8
                             && text.find_first_not_of("0123456789") == std::string::npos;
    const long rounds = digits_only ? std::stol(text) : -1;
    if (rounds < 1 || rounds > max_rounds)
        throw usage_error("hash: --rounds must be a number from 1 to 16777215, got '" + text + "'");
    return rounds;
}

std::string random_salt(std::size_t length)
{
    std::string salt;
    while (salt.size() < length) {
        char pair[3] = {0};
        passwd_saltgen(pair);
        salt += pair;
    }
    return salt.substr(0, length);
}

// The count is written as four characters, the least significant first.
std::string encode_rounds(long rounds)
{
    std::string out;
    for (int i = 0; i < 4; ++i, rounds >>= 6)
        out += crypt64_alphabet[rounds & 63];
    return out;
}

}  // namespace

int cmd_hash(const std::vector<std::string> &argv)
{
    parsed_args args;
    if (!parse_args(hash_syntax, argv, args))
        return exit_ok;
    const std::string *rounds_text = args.option("--rounds");
    const std::string *salt_text = args.option("--salt");
    const std::size_t salt_length = rounds_text ? 4 : 2;
    std::string setting;
    if (salt_text)
        check_salt(*salt_text, salt_length);
    const std::string salt = salt_text ? *salt_text : random_salt(salt_length);
    if (rounds_text)
        setting.append("_").append(encode_rounds(parse_rounds(*rounds_text))).append(salt);
    else
        setting = salt;

    std::string password = read_password(args);
    const std::string hash = passwd_crypt(password.c_str(), setting.c_str());
    wipe(password);
    std::cout << hash << "\n";
    return exit_ok;
}

int cmd_verify(const std::vector<std::string> &argv)
{
    parsed_args args;
    if (!parse_args(verify_syntax, argv, args))
        return exit_ok;
    std::string password = read_password(args);
    const int match = passwd_verify(password.c_str(), args.positional[0].c_str());
    wipe(password);
    std::cout << (match ? "match" : "mismatch") << "\n";
    return match ? exit_ok : exit_failure;
}

}  // namespace cli
