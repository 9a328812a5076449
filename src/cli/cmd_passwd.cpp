// hash and verify: DES-based password hashes.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "commands.h"
#include "crypt64.h"
#include "dessec.h"
#include "password.h"
#include "printable.h"
#include "streams.h"

namespace cli {

namespace {

constexpr long max_rounds = 16777215;  // four 6-bit count characters
constexpr long default_rounds = 725;
constexpr std::size_t traditional_counted = 8;

struct hash_options {
    std::string salt;
    std::string rounds;
    bool extended = false;
    bool batch = false;
    password_options password;
};

struct verify_options {
    std::string stored;
    bool quiet = false;
    password_options password;
};

bool in_alphabet(std::string_view text)
{
    return text.find_first_not_of(crypt64_alphabet) == std::string_view::npos;
}

// The count characters of an extended setting stand for 0: each is '.' or,
// read as the library reads it, a character outside the alphabet.
bool counts_zero(std::string_view count)
{
    return std::all_of(count.begin(), count.end(), [](char c) {
        const auto value = crypt64_alphabet.find(c);
        return value == 0 || value == std::string_view::npos;
    });
}

void check_salt(const std::string &salt, std::size_t length)
{
    if (salt.size() != length)
        throw usage_error("hash: --salt needs " + std::to_string(length) + " characters, got "
                          + std::to_string(salt.size()));
    for (char c : salt) {
        if (crypt64_alphabet.find(c) == std::string_view::npos)
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
    if (rounds % 2 == 0)
        warn("an even round count can reveal weak DES keys; odd counts are the usual choice");
    return rounds;
}

// From the library's salt generator, two characters a call.
std::string random_salt(std::size_t length)
{
    std::string salt;
    while (salt.size() < length) {
        char pair[3];
        passwd_saltgen(pair);
        salt.append(pair, 2);
    }
    salt.resize(length);
    return salt;
}

// The count is written as four characters, the least significant first.
std::string encode_rounds(long rounds)
{
    std::string out;
    for (int i = 0; i < 4; ++i, rounds >>= 6)
        out += crypt64_alphabet[static_cast<std::size_t>(rounds & 63)];
    return out;
}

// How each password is hashed: the count part of the setting (empty for the
// traditional form) and the salt, drawn afresh for each password if not given.
struct hash_setting {
    std::string count;
    std::string salt;
    std::size_t salt_length;

    std::string next() const { return count + (salt.empty() ? random_salt(salt_length) : salt); }
    bool extended() const { return !count.empty(); }
};

hash_setting setting_of(const hash_options &options)
{
    const bool extended = options.extended || !options.rounds.empty();
    hash_setting setting{"", options.salt, extended ? 4u : 2u};
    if (!options.salt.empty())
        check_salt(options.salt, setting.salt_length);
    if (extended)
        setting.count = "_" + encode_rounds(options.rounds.empty() ? default_rounds : parse_rounds(options.rounds));
    return setting;
}

// Standard output is line-buffered: each line is written, or fails, here.
void print_hash(const secret_string &password, const hash_setting &setting)
{
    std::cout << passwd_crypt(password.c_str(), setting.next().c_str()) << "\n";
    check_written(stdout);
}

int run_hash(const hash_options &options)
{
    const hash_setting setting = setting_of(options);
    const std::size_t counted = setting.extended() ? 0 : traditional_counted;
    password_source source(options.password);
    if (!options.batch) {
        print_hash(source.creating("Password: ", counted), setting);
        return exit_ok;
    }
    secret_string line;
    while (source.next_line(line)) {
        source.check_new(line, counted);
        print_hash(line, setting);
    }
    return exit_ok;
}

// Why a stored text is not one of the forms that passwd_verify can match, or
// an empty text when it is one of them. As the library does, only the text
// before a first comma counts; a salt is taken whatever its characters, a
// hash part only in ./0-9A-Za-z, which is all a computed hash can hold.
std::string unsupported_reason(const std::string &stored)
{
    const std::string_view text = std::string_view(stored).substr(0, stored.find(','));
    static const struct {
        const char *prefix;
        const char *name;
    } known[] = {
        {"$2", "bcrypt ($2*$) hashes are not handled"},
        {"$5$", "SHA-256-based ($5$) hashes are not handled"},
        {"$6$", "SHA-512-based ($6$) hashes are not handled"},
        {"$y$", "yescrypt ($y$) hashes are not handled"},
        {"$apr1$", "the $apr1$ variant of MD5-based hashes is not handled"},
        {"*", "a locked entry (*) holds no hash to check"},
        {"!", "a locked entry (!) holds no hash to check"},
    };
    for (const auto &k : known) {
        if (text.starts_with(k.prefix))
            return k.name;
    }
    if (text.size() == 13 && text[0] != '$' && text[0] != '_' && in_alphabet(text.substr(2)))
        return "";
    if (text.size() == 20 && text[0] == '_' && in_alphabet(text.substr(9))) {
        if (counts_zero(text.substr(1, 4)))
            return "an extended hash of count 0 matches no password";
        return "";
    }
    if (text.starts_with("$1$")) {
        const auto end = text.find('$', 3);
        if (end != std::string_view::npos && end - 3 <= 8 && text.size() - end - 1 == 22
            && in_alphabet(text.substr(end + 1)))
            return "";
    }
    return "'" + stored + "' is not a 13- or 20-character DES-based hash nor a $1$ hash";
}

int run_verify(const verify_options &options)
{
    const std::string why = unsupported_reason(options.stored);
    if (!why.empty())
        throw usage_error("verify: unsupported or malformed hash: " + why);
    password_source source(options.password);
    const int match = passwd_verify(source.checking("Password: ").c_str(), options.stored.c_str());
    if (!options.quiet)
        std::cout << (match ? "match" : "mismatch") << "\n";
    return match ? exit_ok : exit_failure;
}

}  // namespace

void declare_passwd_commands(command_registry &registry)
{
    auto hash = std::make_shared<hash_options>();
    CLI::App &hash_parser = registry.add(
        "hash", "hash a password (DES-based, traditional or extended)",
        "usage: dessec hash [--salt SS] [PASSWORD OPTIONS]\n"
        "       dessec hash --extended | --rounds N [--salt SSSS] [PASSWORD OPTIONS]\n"
        "       dessec hash [...] --stdin --batch\n"
        "Hashes a password in the traditional DES-based form (2-character salt, only the first\n"
        "8 password characters count), or in the extended form (4-character salt, every\n"
        "character counts, 725 rounds unless --rounds says otherwise; an even count warns).\n"
        "Salt characters come from ./0-9A-Za-z; without --salt a random salt is drawn for\n"
        "each password. With --batch each input line is a password and each output line its hash.\n"
            + password_rules(true),
        [hash] { return run_hash(*hash); });
    hash_parser.add_option("--salt", hash->salt, "the salt: 2 characters, or 4 in the extended form")
        ->type_name("SALT");
    hash_parser.add_option("--rounds", hash->rounds, "the extended form with N rounds (1 to 16777215)")
        ->type_name("N");
    hash_parser.add_flag("--extended", hash->extended, "the extended form (725 rounds unless --rounds)");
    hash_parser.add_flag("--batch", hash->batch,
                         "hash every line of the password stream (--stdin, --password-fd, --password-file)");
    declare_password_options(hash_parser, hash->password, true);

    auto verify = std::make_shared<verify_options>();
    CLI::App &verify_parser = registry.add(
        "verify", "check a password against a stored hash",
        "usage: dessec verify [--quiet] [PASSWORD OPTIONS] HASH\n"
        "Checks a password against a traditional (13 characters) or extended (20 characters)\n"
        "DES-based hash, or a \"$1$\" MD5-based one. Exit status 0 on a match, 1 on a mismatch\n"
        "and only then, 2 for any error: a hash in a form the tool does not handle, a password\n"
        "file that cannot be read, a read or write error, misuse.\n"
            + password_rules(false),
        [verify] { return run_verify(*verify); }, exit_usage);
    verify_parser.add_option("HASH", verify->stored, "the stored hash")->required();
    verify_parser.add_flag("--quiet,-q", verify->quiet, "print nothing; the exit status tells");
    declare_password_options(verify_parser, verify->password, false);
}

}  // namespace cli
