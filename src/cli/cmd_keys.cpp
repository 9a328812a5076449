// keygen and agree: Diffie-Hellman key pairs and common keys.
#include <CLI/CLI.hpp>

#include <iostream>

#include "commands.h"
#include "dessec.h"
#include "hex_input.h"

namespace cli {

namespace {

// The largest public key that gives no predictable common key: the modulus
// less 2 (1 and the modulus less 1 raise to 1 or to plus or minus 1). The
// modulus ends in "b", so less 2 it ends in "9".
static_assert(DESSEC_DH_MODULUS[sizeof DESSEC_DH_MODULUS - 2] == 'b');
const std::string largest_public_key = std::string(DESSEC_DH_MODULUS, sizeof DESSEC_DH_MODULUS - 2) + "9";
constexpr std::size_t key_digits = sizeof DESSEC_DH_MODULUS - 1;

struct agree_options {
    secret_argument secret;
    std::string peer;
};

int run_keygen(bool json)
{
    secret_string secret(DESSEC_SECRET_KEY_DIGITS);  // a failed call may still have written it
    char public_key[DESSEC_KEY_BUFFER] = {0};
    const int status = dh_keysGenerator(secret.data(), public_key);
    if (status == 0 && json)
        std::cout << "{\"secret\": \"" << secret.c_str() << "\", \"public\": \"" << public_key << "\"}\n";
    else if (status == 0)
        std::cout << "secret: " << secret.c_str() << "\npublic: " << public_key << "\n";
    if (status != 0)
        throw failure("keygen: could not make a key pair");
    return exit_ok;
}

// Compares two hex numbers by value, whatever their leading zeros and case.
int compare_hex(const std::string &a, const std::string &b)
{
    const auto significant = [](const std::string &text) {
        const auto first = text.find_first_not_of('0');
        return first == std::string::npos ? std::string() : to_lower(text.substr(first));
    };
    const std::string x = significant(a), y = significant(b);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

// The usual check of a finite-field public key: 2 <= key <= modulus - 2.
void check_public_key(const std::string &peer)
{
    check_hex("agree: --public", peer, {.max_digits = key_digits, .odd_allowed = true});
    if (compare_hex(peer, "2") < 0)
        throw usage_error("agree: --public: a public key below 2 gives a predictable common key");
    if (compare_hex(peer, largest_public_key) > 0)
        throw usage_error("agree: --public: a public key above the modulus less 2 is not a key of the group");
}

int run_agree(const agree_options &options)
{
    if (!options.secret.given())
        throw usage_error("agree: --secret or --secret-file is required");
    check_public_key(options.peer);
    secret_string secret = read_hex_secret(options.secret, "agree: the secret key", {.digits = key_digits});
    std::string peer = options.peer;
    std::string modulus = DESSEC_DH_MODULUS;
    secret_string common(DESSEC_DH_OUT_BUFFER - 1);
    dh(peer.data(), secret.data(), modulus.data(), common.data());
    if (common[0] == '\0')
        throw failure("agree: the public key gives no usable common key");
    // As dh writes it, so that it compares as text with keys that other
    // programs made through the library.
    std::cout << common.c_str() << "\n";
    return exit_ok;
}

}  // namespace

void declare_key_commands(command_registry &registry)
{
    const std::string digits = std::to_string(key_digits);
    auto json = std::make_shared<bool>(false);
    registry
        .add("keygen", "make a Diffie-Hellman key pair in the fixed group",
             "usage: dessec keygen [--json]\n"
             "Makes a new key pair in the fixed 192-bit group: a " + digits
                 + "-digit secret key and its public key.\n",
             [json] { return run_keygen(*json); })
        .add_flag("--json", *json, "print a JSON object instead of two labelled lines");

    auto agree = std::make_shared<agree_options>();
    CLI::App &parser = registry.add(
        "agree", "compute the common key of a secret key and a peer's public key",
        "usage: dessec agree --secret-file FILE | --secret -|HEX  --public HEX\n"
        "Prints the common key of your secret key (" + digits + " hex digits) and the other side's public\n"
        "key (up to " + digits + " hex digits, from 2 to the modulus less 2), as the library writes it.\n"
        "A public key outside that range is refused with exit status 2.\n",
        [agree] { return run_agree(*agree); });
    auto *secret = parser.add_option("--secret", agree->secret.text,
                                     "the secret key, or - to read it from standard input (on the "
                                     "command line other users can see it)")
                       ->type_name("HEX|-");
    auto *file = parser.add_option("--secret-file", agree->secret.file, "read the secret key from FILE")
                     ->type_name("FILE");
    secret->excludes(file);
    parser.add_option("--public", agree->peer, "the other side's public key")->type_name("HEX")->required();
}

}  // namespace cli
