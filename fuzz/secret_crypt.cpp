// xencrypt and xdecrypt: DES-CBC from a zero vector over the bytes that the
// text's characters stand for, under the key made from the password; the
// round trip; and texts of refused lengths left exactly as they were.
#include <string>

#include "dessec.h"
#include "fuzz_support.h"

using namespace dessec_fuzz;

namespace {

using hex_call = int (*)(char *, const char *);

struct outcome {
    int result;
    std::string buffer;  // the whole text buffer, its NUL and anything behind it
};

outcome run(hex_call call, const std::string &buffer, const std::string &passwd)
{
    const auto text = heap_copy(buffer, false);
    const auto pw = heap_copy(passwd, true);
    const int result = call(text.get(), pw.get());
    return {result, std::string(text.get(), buffer.size())};
}

// Lengths 16k and 16k + 1 for k up to 1024: whole DES blocks of at most DESSEC_DES_MAX_LEN bytes.
bool accepted(std::size_t len)
{
    return len % 16 <= 1 && len / 16 <= 1024;
}

// 2n digits of the result and a NUL over the first 2n + 1 characters; the
// rest of the buffer stays.
std::string expected_buffer(const std::string &buffer, const std::string &passwd, bool decrypt)
{
    const std::size_t n = c_text(buffer).size() / 2;
    DES_cblock key, iv = {};
    password_key(passwd, key);
    const std::string result = hex_text(reference_des(key, hex_bytes(buffer.data(), n), decrypt, &iv));
    return result + '\0' + buffer.substr(2 * n + 1);
}

void check(hex_call call, const std::string &buffer, const std::string &passwd, bool decrypt)
{
    const outcome out = run(call, buffer, passwd);
    if (!accepted(c_text(buffer).size())) {
        FUZZ_CHECK(out.result == 0 && out.buffer == buffer);
        return;
    }
    FUZZ_CHECK(out.result == 1);
    FUZZ_CHECK(out.buffer == expected_buffer(buffer, passwd, decrypt));
    // Back again gives the digits in the form the first call read them.
    const std::string normal = hex_text(hex_bytes(buffer.data(), c_text(buffer).size() / 2));
    const outcome back = run(decrypt ? xencrypt : xdecrypt, out.buffer, passwd);
    FUZZ_CHECK(back.result == 1 && c_text(back.buffer) == normal);
}

std::string stretched(const std::string &payload, std::size_t len)
{
    const std::string unit = c_text(payload).empty() ? std::string("0") : c_text(payload);
    std::string text;
    while (text.size() < len)
        text += unit;
    text.resize(len);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const auto shape = fdp.ConsumeIntegralInRange<int>(0, 31);
    const auto number = fdp.ConsumeIntegral<unsigned>();
    const std::string passwd = c_text(fdp.ConsumeRandomLengthString(24));
    std::string text = fdp.ConsumeRemainingBytesAsString();
    // A text of 16 kB costs a hundred short ones: most inputs have the sizes
    // of real secrets, and one in 32 is around the longest.
    if (shape == 0)
        text = stretched(text, DESSEC_HEX_MAX_DIGITS - 32 + number % 48);
    else if (shape < 12)  // a secret key or a record of it, with at most 4 further blocks
        text = stretched(text, 16 * (number % 8 + 1) + number / 8 % 2);
    else if (shape < 22)  // a length that the calls accept
        text = c_text(text).substr(0, c_text(text).size() / 16 * 16 + number % 2);
    const std::string buffer = text + '\0';

    check(xencrypt, buffer, passwd, false);
    check(xdecrypt, buffer, passwd, true);
    return 0;
}
