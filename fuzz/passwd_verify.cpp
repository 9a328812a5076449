// passwd_verify: hashes made by passwd_crypt under valid settings and "$1$"
// hashes made by the system crypt library verify, with or without text after
// a comma; and for any stored text the result is the one worked out from the
// system crypt library, "_" hashes taking 9 setting characters and failing
// for a count of 0.
#include <string>

#include "crypt_reference.h"
#include "dessec.h"
#include "fuzz_support.h"

using namespace dessec_fuzz;

namespace {

constexpr std::size_t md5_setting_len = 11;

int verify(const std::string &passwd, const std::string &stored)
{
    const auto pw = heap_copy(passwd, true);
    const auto text = heap_copy(stored, true);
    return passwd_verify(pw.get(), text.get());
}

// 1 or 0 as the stored text up to its first comma equals the hash of the
// password under the setting taken from it; -1 where the system library
// refuses a "$1$" setting.
int expected_result(const std::string &passwd, const std::string &stored)
{
    const std::string text = c_text(stored).substr(0, c_text(stored).find(','));
    if (text.compare(0, 1, "$") == 0) {
        if (text.compare(0, 3, "$1$") != 0)
            return 0;
        const std::string hash = system_crypt(passwd, text.substr(0, md5_setting_len));
        return hash.empty() ? -1 : hash == text;
    }
    const std::string setting = text.substr(0, is_extended(text) ? extended_setting_len : traditional_setting_len);
    const std::string hash = reference_des_crypt(passwd, setting);
    return !hash.empty() && hash == text;
}

void check_any(const std::string &passwd, const std::string &stored)
{
    const int result = verify(passwd, stored);
    const int expected = expected_result(passwd, stored);
    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(expected < 0 || result == expected);
}

void check_verifies(const std::string &passwd, const std::string &hash, const std::string &tail)
{
    FUZZ_CHECK(verify(passwd, hash) == 1);
    FUZZ_CHECK(verify(passwd, hash + "," + tail) == 1);
    check_any(passwd, hash);
}

std::string alphabet_text(const std::string &bytes)
{
    std::string text = bytes;
    for (auto &c : text)
        c = dessec::crypt64_alphabet[static_cast<unsigned char>(c) % 64];
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const auto shape = fdp.ConsumeIntegralInRange<int>(0, 3);
    const std::string passwd = c_text(fdp.ConsumeRandomLengthString(64));
    const std::string tail = c_text(fdp.ConsumeRandomLengthString(64));
    const std::string raw = fdp.ConsumeRemainingBytesAsString();

    switch (shape) {
    case 0:
        check_any(passwd, with_small_count(raw));
        break;
    case 1:
        check_verifies(passwd, passwd_crypt(passwd.c_str(), alphabet_text(raw.substr(0, 2)).c_str()), tail);
        break;
    case 2: {
        std::string setting = with_small_count("_" + alphabet_text(raw.substr(0, 8)));
        setting.resize(extended_setting_len, '.');
        if (extended_count(setting) == 0)
            setting[1] = '/';
        check_verifies(passwd, passwd_crypt(passwd.c_str(), setting.c_str()), tail);
        break;
    }
    default:
        check_verifies(passwd, system_crypt(passwd, "$1$" + alphabet_text(raw.substr(0, 8))), tail);
        break;
    }
    return 0;
}
