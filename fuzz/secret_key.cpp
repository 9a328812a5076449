// decrypt_secret_key: a record sealed with xencrypt opens with its password
// to the 48-digit key and fails with another; any text gives the result and
// leaves the buffer as the decryption and the check digits dictate, and
// texts too short or of refused lengths come back untouched.
#include <cstring>
#include <string>

#include "dessec.h"
#include "fuzz_support.h"

using namespace dessec_fuzz;

namespace {

constexpr std::size_t key_digits = DESSEC_SECRET_KEY_DIGITS;
constexpr std::size_t record_digits = DESSEC_RECORD_DIGITS;
constexpr std::size_t check_digits = 16;

struct outcome {
    int result;
    std::string buffer;
};

outcome open_record(const std::string &buffer, const std::string &passwd)
{
    const auto text = heap_copy(buffer, false);
    const auto pw = heap_copy(passwd, true);
    const int result = decrypt_secret_key(text.get(), pw.get());
    return {result, std::string(text.get(), buffer.size())};
}

bool same_key(const std::string &a, const std::string &b)
{
    DES_cblock ka, kb;
    password_key(a, ka);
    password_key(b, kb);
    return std::memcmp(ka, kb, 8) == 0;
}

// The buffer after the call, worked out from the text and the password.
outcome expected_outcome(const std::string &buffer, const std::string &passwd)
{
    const std::size_t len = c_text(buffer).size();
    if (len < record_digits || len % 16 > 1 || len / 16 > 1024)
        return {0, buffer};
    const std::size_t n = len / 2;
    DES_cblock key, iv = {};
    password_key(passwd, key);
    std::string text = hex_text(reference_des(key, hex_bytes(buffer.data(), n), true, &iv)) + '\0' +
                       buffer.substr(2 * n + 1);
    if (text.compare(0, check_digits, text, key_digits, check_digits) != 0)
        return {0, text};
    text[key_digits] = '\0';
    return {1, text};
}

void check_sealed_record(const std::string &key_bytes, std::size_t extra_blocks, const std::string &passwd,
                         const std::string &other)
{
    const std::string key = hex_text(key_bytes);
    const std::string record = key + key.substr(0, check_digits) + hex_text(std::string(8 * extra_blocks, '\x5a'));
    const auto sealed = heap_copy(record, true);
    const auto pw = heap_copy(passwd, true);
    FUZZ_CHECK(xencrypt(sealed.get(), pw.get()) == 1);
    const std::string buffer(sealed.get(), record.size() + 1);

    const outcome opened = open_record(buffer, passwd);
    FUZZ_CHECK(opened.result == 1 && c_text(opened.buffer) == key);
    if (!same_key(passwd, other))
        FUZZ_CHECK(open_record(buffer, other).result == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const auto extra_blocks = fdp.ConsumeIntegralInRange<std::size_t>(0, 2);
    const auto fit = fdp.ConsumeBool();
    std::string key_bytes = fdp.ConsumeBytesAsString(key_digits / 2);
    key_bytes.resize(key_digits / 2, '\0');
    const std::string passwd = c_text(fdp.ConsumeRandomLengthString(24));
    const std::string other = c_text(fdp.ConsumeRandomLengthString(24));
    std::string text = fdp.ConsumeRemainingBytesAsString();
    if (fit)  // a length that xdecrypt accepts
        text = c_text(text).substr(0, c_text(text).size() / 16 * 16 + extra_blocks % 2);

    check_sealed_record(key_bytes, extra_blocks, passwd, other);
    const std::string buffer = text + '\0';
    const outcome out = open_record(buffer, passwd);
    const outcome expected = expected_outcome(buffer, passwd);
    FUZZ_CHECK(out.result == expected.result && out.buffer == expected.buffer);
    return 0;
}
