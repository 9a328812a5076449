// keygen and agree: Diffie-Hellman key pairs and common keys.
#include <iostream>

#include "cli.h"
#include "dessec.h"

namespace cli {

namespace {

const char *const group_modulus = "d4a0ba0250b6fd2ec626e7efd637df76c716e22d0944b88b";

const command_syntax keygen_syntax{
    "keygen",
    "usage: dessec keygen [--json]\n"
    "Makes a new key pair in the fixed 192-bit group: a 48-digit secret key and its public key.\n"
    "  --json   print a JSON object instead of two labelled lines\n",
    {"--json"}, {}, 0, 0};

const command_syntax agree_syntax{
    "agree",
    "usage: dessec agree --secret HEX --public HEX\n"
    "Prints the common key of your secret key (48 hex digits) and the other side's public key.\n",
    {}, {"--secret", "--public"}, 0, 0};

const std::string &required(const parsed_args &args, const char *name)
{
    const std::string *value = args.option(name);
    if (!value)
        throw usage_error(std::string("agree: ") + name + " is required");
    return *value;
}

}  // namespace

int cmd_keygen(const std::vector<std::string> &argv)
{
    parsed_args args;
    if (!parse_args(keygen_syntax, argv, args))
        return exit_ok;
    char secret[49] = {0};
    char public_key[49] = {0};
    // A failed call may still have written the secret key.
    const int status = dh_keysGenerator(secret, public_key);
    if (status == 0 && args.has("--json"))
        std::cout << "{\"secret\": \"" << secret << "\", \"public\": \"" << public_key << "\"}\n";
    else if (status == 0)
        std::cout << "secret: " << secret << "\npublic: " << public_key << "\n";
    wipe(secret, sizeof secret);
    if (status != 0)
        throw failure("keygen: could not make a key pair");
    return exit_ok;
}

int cmd_agree(const std::vector<std::string> &argv)
{
    parsed_args args;
    if (!parse_args(agree_syntax, argv, args))
        return exit_ok;
    std::string secret = required(args, "--secret");
    std::string peer = required(args, "--public");
    check_hex("--secret", secret, 48);
    check_hex("--public", peer, 0, 48);

    std::string modulus = group_modulus;
    char common[51] = {0};
    dh(peer.data(), secret.data(), modulus.data(), common);
    wipe(secret);
    if (common[0] == '\0')
        throw failure("agree: the public key gives no usable common key");
    std::string shown = to_lower(common);
    wipe(common, sizeof common);
    std::cout << shown << "\n";
    wipe(shown);
    return exit_ok;
}

}  // namespace cli
