// seal, open, reseal, encrypt-hex and decrypt-hex: hex secrets under a password.
#include <CLI/CLI.hpp>

#include <iostream>

#include "commands.h"
#include "dessec.h"
#include "hex_input.h"
#include "password.h"

namespace cli {

namespace {

// Only this many password characters make the DES key of a record.
constexpr std::size_t counted_characters = 8;

struct secret_options {
    secret_argument text;  // the secret key, the hex text or the record
    password_options password;
};

void refuse_two_from_stdin(const secret_options &options, const std::string &command)
{
    if (options.text.from_stdin() && options.password.from_stdin)
        throw usage_error(command + ": the text and the password cannot both come from standard input");
}

secret_string seal_record(secret_string record, const secret_string &password, const char *command)
{
    to_lower(record);
    record.append(record.view().substr(0, 16));  // the check digits repeat the key's first 16
    if (!xencrypt(record.data(), password.c_str()))
        throw failure(std::string(command) + ": the library refused the record");
    return record;
}

// Opens a copy of the record, so that the caller's stays as it was.
secret_string open_record(const std::string &record, const secret_string &password, const char *command)
{
    secret_string opened(record);
    if (!decrypt_secret_key(opened.data(), password.c_str()))
        throw failure(std::string(command) + ": wrong password or damaged record");
    opened.truncate(DESSEC_SECRET_KEY_DIGITS);  // the check digits go
    return opened;
}

void print(const secret_string &text)
{
    std::cout << text.c_str() << "\n";
}

int run_seal(const secret_options &options)
{
    if (!options.text.given())
        throw usage_error("seal: give the secret key as SECRET, - or --secret-file FILE");
    refuse_two_from_stdin(options, "seal");
    secret_string secret = read_hex_secret(options.text, "seal: the secret key", {.digits = DESSEC_SECRET_KEY_DIGITS});
    password_source source(options.password);
    const secret_string password = source.creating("Password: ", counted_characters);
    print(seal_record(std::move(secret), password, "seal"));
    return exit_ok;
}

int run_open(const secret_options &options)
{
    const std::string &record = options.text.text;
    check_hex("open: record", record, {.digits = DESSEC_RECORD_DIGITS});
    password_source source(options.password);
    const secret_string password = source.checking("Password: ");
    print(open_record(record, password, "open"));
    return exit_ok;
}

int run_reseal(const secret_options &options)
{
    const std::string &record = options.text.text;
    check_hex("reseal: record", record, {.digits = DESSEC_RECORD_DIGITS});
    password_source source(options.password);
    secret_string secret = open_record(record, source.checking("Old password: "), "reseal");
    const secret_string new_password = source.creating("New password: ", counted_characters);
    print(seal_record(std::move(secret), new_password, "reseal"));
    return exit_ok;
}

using hex_cipher = int (*)(char *, const char *);

int run_hex_cipher(const secret_options &options, hex_cipher cipher, const std::string &command)
{
    refuse_two_from_stdin(options, command);
    secret_string text
        = read_hex_secret(options.text, command + ": the hex text", {.max_digits = DESSEC_HEX_MAX_DIGITS});
    if (text.size() % 16 != 0)
        throw usage_error(command + ": the number of hex digits must be a multiple of 16, got "
                          + std::to_string(text.size()));
    password_source source(options.password);
    const secret_string password = cipher == xencrypt ? source.creating("Password: ", counted_characters)
                                                      : source.checking("Password: ");
    if (!cipher(text.data(), password.c_str()))
        throw failure(command + ": the library refused the text");
    print(text);
    return exit_ok;
}

CLI::App &declare(command_registry &registry, const char *name, const char *summary, const std::string &help,
                  std::function<int(const secret_options &)> run, std::shared_ptr<secret_options> &options)
{
    options = std::make_shared<secret_options>();
    return registry.add(name, summary, help, [run, options] { return run(*options); });
}

}  // namespace

void declare_secret_commands(command_registry &registry)
{
    const std::string key = std::to_string(DESSEC_SECRET_KEY_DIGITS) + "-digit";
    const std::string record = std::to_string(DESSEC_RECORD_DIGITS) + "-digit";
    std::shared_ptr<secret_options> seal, open, reseal, encrypt, decrypt;

    CLI::App &seal_parser = declare(
        registry, "seal", "seal a secret key under a password as a secret-key record",
        "usage: dessec seal [PASSWORD OPTIONS] --secret-file FILE | - | SECRET\n"
        "Seals a " + key + " secret key under a password as a " + record + " secret-key record. The key\n"
        "comes from FILE, from standard input (-) or, visible to other users, the command line.\n"
        "Only the first 8 password characters count.\n" + password_rules(true),
        run_seal, seal);
    auto *secret = seal_parser.add_option("SECRET", seal->text.text, "the secret key, or - for standard input")
                       ->type_name("HEX|-");
    auto *secret_file = seal_parser.add_option("--secret-file", seal->text.file, "read the secret key from FILE")
                            ->type_name("FILE");
    secret->excludes(secret_file);
    declare_password_options(seal_parser, seal->password, true);

    CLI::App &open_parser = declare(
        registry, "open", "open a secret-key record with its password",
        "usage: dessec open [PASSWORD OPTIONS] RECORD\n"
        "Opens a " + record + " secret-key record and prints the secret key; exit status 1 on a wrong\n"
        "password or a damaged record.\n" + password_rules(false),
        run_open, open);
    open_parser.add_option("RECORD", open->text.text, "the " + record + " record")->required();
    declare_password_options(open_parser, open->password, false);

    CLI::App &reseal_parser = declare(
        registry, "reseal", "seal the secret key of a record under a new password",
        "usage: dessec reseal [PASSWORD OPTIONS] RECORD\n"
        "Asks the old password of a " + record + " secret-key record, then the new one, and prints the\n"
        "same secret key sealed under the new password. A wrong old password gives exit status 1\n"
        "and no output. With a stream option the first line is the old password and the second\n"
        "the new one.\n" + password_rules(true, false),
        run_reseal, reseal);
    reseal_parser.add_option("RECORD", reseal->text.text, "the " + record + " record")->required();
    declare_password_options(reseal_parser, reseal->password, true, false);

    const std::string hex_help =
        " a hex text of 16, 32, ... " + std::to_string(DESSEC_HEX_MAX_DIGITS) + " digits under a password.\n"
        "HEX - reads the text from standard input; on the command line other users can see it.\n";
    CLI::App &encrypt_parser = declare(
        registry, "encrypt-hex", "encrypt a hex text under a password",
        "usage: dessec encrypt-hex [PASSWORD OPTIONS] HEX|-\nEncrypts" + hex_help + password_rules(true),
        [](const secret_options &o) { return run_hex_cipher(o, xencrypt, "encrypt-hex"); }, encrypt);
    encrypt_parser.add_option("HEX", encrypt->text.text, "the hex text, or - for standard input")->required();
    declare_password_options(encrypt_parser, encrypt->password, true);

    CLI::App &decrypt_parser = declare(
        registry, "decrypt-hex", "decrypt a hex text under a password",
        "usage: dessec decrypt-hex [PASSWORD OPTIONS] HEX|-\nDecrypts" + hex_help + password_rules(false),
        [](const secret_options &o) { return run_hex_cipher(o, xdecrypt, "decrypt-hex"); }, decrypt);
    decrypt_parser.add_option("HEX", decrypt->text.text, "the hex text, or - for standard input")->required();
    declare_password_options(decrypt_parser, decrypt->password, false);
}

}  // namespace cli
