// passwd_crypt: for any password and setting a text of 13 characters, or 20
// after "_", that begins with the setting's characters and agrees with the
// system crypt library (extended counts kept below 4096); an extended count
// of 0 leaves the zero block.
#include <string>

#include "crypt_reference.h"
#include "dessec.h"
#include "fuzz_support.h"

using namespace dessec_fuzz;

namespace {

std::string alphabet_text(const std::string &bytes)
{
    std::string text = bytes;
    for (auto &c : text)
        c = dessec::crypt64_alphabet[static_cast<unsigned char>(c) % 64];
    return text;
}

// Shaped settings lead the fuzzer to the ones the system library takes too.
std::string make_setting(int shape, const std::string &raw)
{
    switch (shape) {
    case 0:
        return c_text(raw);
    case 1:
        return alphabet_text(raw.substr(0, 2));
    default:
        return "_" + alphabet_text(raw.substr(0, 8));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const auto shape = fdp.ConsumeIntegralInRange<int>(0, 2);
    const std::string passwd = c_text(fdp.ConsumeRandomLengthString(64));
    const std::string setting = with_small_count(make_setting(shape, fdp.ConsumeRemainingBytesAsString()));

    const auto key = heap_copy(passwd, true);
    const auto set = heap_copy(setting, true);
    const char *out = passwd_crypt(key.get(), set.get());
    FUZZ_CHECK(out != nullptr);
    const std::string text = out;

    const bool extended = is_extended(setting);
    const std::size_t hash_at = extended ? extended_setting_len : traditional_setting_len;
    FUZZ_CHECK(text.size() == hash_at + 11);
    FUZZ_CHECK(text.compare(0, hash_at, setting_chars(setting, hash_at)) == 0);
    for (std::size_t i = hash_at; i < text.size(); ++i)
        FUZZ_CHECK(in_alphabet(text[i]));
    FUZZ_CHECK(crypt64_digit(text.back()) % 4 == 0);

    const std::string expected = reference_des_crypt(passwd, setting);
    if (expected.empty())  // an extended count of 0: the zero block as it is
        FUZZ_CHECK(text.substr(hash_at) == std::string(11, '.'));
    else
        FUZZ_CHECK(text == expected);
    return 0;
}
