// Every export that takes scratch memory, with the library's Nth allocation
// failing for N = 0, 1, 2, ... until the call makes fewer allocations than
// that and succeeds. Each failure must give the call's failure result and
// leave the caller's buffers as stated, byte for byte, past the NULs too.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "dessec.h"

namespace {

constexpr std::size_t buffer_size = 96;

// A call's result and the caller's buffers, whole.
struct outcome {
    int result;
    std::vector<std::string> buffers;
    bool operator==(const outcome &) const = default;
};

// The text, its NUL and '#' up to the end of the buffer.
std::string buffer_of(const std::string &text)
{
    std::string b = text;
    b.push_back('\0');
    b.resize(buffer_size, '#');
    return b;
}

// Runs the call with allocation n failing, for n = 0, 1, ... until it
// succeeds; `failed` checks each failing outcome, `succeeded` the last.
// Returns the number of allocations that the call makes.
long allocations_until_success(const std::function<outcome()> &call,
                               const std::function<bool(const outcome &)> &succeeded,
                               const std::function<void(const outcome &)> &failed)
{
    constexpr long limit = 16;
    for (long n = 0; n < limit; ++n) {
        dessec::scratch_fail_after(n);
        const outcome o = call();
        dessec::scratch_fail_after(-1);
        if (succeeded(o))
            return n;
        SCOPED_TRACE(std::string("allocation ").append(std::to_string(n)).append(" failing"));
        failed(o);
    }
    ADD_FAILURE() << "no success with " << limit << " allocations";
    return -1;
}

const std::string group_modulus = DESSEC_DH_MODULUS;
const std::string secret_key = "0f1e2d3c4b5a69788796a5b4c3d2e1f00112233445566778";
const std::string record_plain = secret_key + secret_key.substr(0, 16);

outcome run_text_call(int (*call)(char *, const char *), const std::string &text)
{
    std::string b = buffer_of(text);
    const int result = call(b.data(), "password");
    return {result, {b}};
}

outcome run_dh(const std::string &base, const std::string &exponent, const std::string &modulus)
{
    std::string b = buffer_of(base), e = buffer_of(exponent), m = buffer_of(modulus);
    std::string out(buffer_size, '#');
    dh(b.data(), e.data(), m.data(), out.data());
    return {0, {b, e, m, out}};
}

outcome run_key_generator()
{
    std::string secret(buffer_size, '#'), public_key(buffer_size, '#');
    const int result = dh_keysGenerator(secret.data(), public_key.data());
    return {result, {secret, public_key}};
}

std::string upper(std::string s)
{
    for (auto &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string lower(std::string s)
{
    for (auto &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

TEST(AllocationFailure, HexSecretCallsReturn0WithTheTextUntouched)
{
    const std::string sealed = run_text_call(xencrypt, record_plain).buffers[0].c_str();
    std::string opened_record = buffer_of(record_plain);
    opened_record[DESSEC_SECRET_KEY_DIGITS] = '\0';

    struct text_case {
        const char *name;
        int (*call)(char *, const char *);
        std::string text;
        outcome success;
    };
    const text_case cases[] = {{"xencrypt", xencrypt, record_plain, {1, {buffer_of(sealed)}}},
                               {"xdecrypt", xdecrypt, sealed, {1, {buffer_of(record_plain)}}},
                               {"decrypt_secret_key", decrypt_secret_key, sealed, {1, {opened_record}}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const long allocations = allocations_until_success(
            [&] { return run_text_call(c.call, c.text); }, [&](const outcome &o) { return o == c.success; },
            [&](const outcome &o) { EXPECT_EQ(o, (outcome{0, {buffer_of(c.text)}})); });
        EXPECT_EQ(allocations, 1);
    }
}

// The texts are given in upper case, so that a parse would show in them.
TEST(AllocationFailure, DhWritesNothingAndLeavesItsTextsAsTheyWere)
{
    struct dh_case {
        std::string base, exponent, modulus, expected;
    };
    const dh_case cases[] = {{"3", "1A", "", "024FD3027FE9"},
                             {"3", upper(secret_key), upper(group_modulus),
                              "9AFE27564CD2477FB2FF4F38A9897A585F92182D67B9EDE8"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.exponent);
        const outcome success = run_dh(c.base, c.exponent, c.modulus);
        EXPECT_EQ(success.buffers[3], buffer_of(c.expected));
        EXPECT_EQ(success.buffers[1], buffer_of(lower(c.exponent)));
        const outcome untouched{0, {buffer_of(c.base), buffer_of(c.exponent), buffer_of(c.modulus),
                                    std::string(buffer_size, '#')}};
        const long allocations = allocations_until_success(
            [&] { return run_dh(c.base, c.exponent, c.modulus); }, [&](const outcome &o) { return o == success; },
            [&](const outcome &o) { EXPECT_EQ(o, untouched); });
        EXPECT_EQ(allocations, 1);
    }
}

// The secret key is made before the failing allocation: its 48 digits stay,
// while the public key buffer is left cleared.
TEST(AllocationFailure, KeyGeneratorReturnsMinus1WithAnEmptyPublicKey)
{
    const auto secret_of = [](const outcome &o) { return std::string(o.buffers[0].c_str()); };
    const long allocations = allocations_until_success(
        run_key_generator, [](const outcome &o) { return o.result == 0; },
        [&](const outcome &o) {
            EXPECT_EQ(o.result, -1);
            const std::string secret = secret_of(o);
            EXPECT_EQ(secret.size(), 48u);
            EXPECT_EQ(secret.find_first_not_of("0123456789abcdef"), std::string::npos) << secret;
            EXPECT_EQ(o.buffers[0].substr(DESSEC_SECRET_KEY_DIGITS), '\0' + std::string(buffer_size - DESSEC_KEY_BUFFER, '#'));
            EXPECT_EQ(o.buffers[1], std::string(DESSEC_KEY_BUFFER, '\0') + std::string(buffer_size - DESSEC_KEY_BUFFER, '#'));
        });
    EXPECT_EQ(allocations, 1);

    const outcome made = run_key_generator();
    ASSERT_EQ(made.result, 0);
    const outcome check = run_dh("3", secret_of(made), group_modulus);
    EXPECT_EQ(lower(check.buffers[3].c_str()), made.buffers[1].c_str());
}
