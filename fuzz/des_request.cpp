// ecb_crypt and cbc_crypt against DES chained here over OpenSSL's block
// call: status codes, data and vector, the round trip, a request split in
// two, and refused lengths that change nothing.
#include <cstring>
#include <string>

#include "dessec.h"
#include "fuzz_support.h"

using namespace dessec_fuzz;

namespace {

constexpr unsigned max_request = DESSEC_DES_MAX_LEN;

struct outcome {
    int status;
    std::string data;
    std::string iv;  // empty for ECB
};

// One request on an exact heap copy of data; len may exceed data's size only
// when it is a length the call must refuse.
outcome run(const std::string &key, const std::string &data, unsigned len, unsigned mode, const std::string *iv)
{
    const auto key_block = heap_copy(key, false);
    const auto data_block = heap_copy(data, false);
    outcome result{};
    if (iv != nullptr) {
        const auto iv_block = heap_copy(*iv, false);
        result.status = cbc_crypt(key_block.get(), data_block.get(), len, mode, iv_block.get());
        result.iv.assign(iv_block.get(), 8);
    } else {
        result.status = ecb_crypt(key_block.get(), data_block.get(), len, mode);
    }
    result.data.assign(data_block.get(), data.size());
    FUZZ_CHECK(std::string(key_block.get(), 8) == key);
    return result;
}

std::string as_string(const DES_cblock &block)
{
    return std::string(reinterpret_cast<const char *>(block), 8);
}

void check_refused(const std::string &key, const std::string &iv, const std::string &data, unsigned len, unsigned mode)
{
    const outcome ecb = run(key, data, len, mode, nullptr);
    FUZZ_CHECK(ecb.status == des_status_bad_length && ecb.data == data);
    const outcome cbc = run(key, data, len, mode, &iv);
    FUZZ_CHECK(cbc.status == des_status_bad_length && cbc.data == data && cbc.iv == iv);
}

void check_accepted(const std::string &key, const std::string &iv, const std::string &data, unsigned mode,
                    std::size_t split_blocks)
{
    const auto len = static_cast<unsigned>(data.size());
    const bool decrypt = (mode & des_mode_decrypt) != 0;
    const int done = (mode & des_mode_report_ok) ? des_status_ok : des_status_done;
    DES_cblock des_key, chain;
    std::memcpy(des_key, key.data(), 8);
    std::memcpy(chain, iv.data(), 8);

    const outcome ecb = run(key, data, len, mode, nullptr);
    FUZZ_CHECK(ecb.status == done);
    FUZZ_CHECK(ecb.data == reference_des(des_key, data, decrypt, nullptr));

    const outcome cbc = run(key, data, len, mode, &iv);
    FUZZ_CHECK(cbc.status == done);
    FUZZ_CHECK(cbc.data == reference_des(des_key, data, decrypt, &chain));
    FUZZ_CHECK(cbc.iv == as_string(chain));  // unchanged for length 0 in both directions

    const unsigned inverse = mode ^ des_mode_decrypt;
    FUZZ_CHECK(run(key, ecb.data, len, inverse, nullptr).data == data);
    const outcome back = run(key, cbc.data, len, inverse, &iv);
    FUZZ_CHECK(back.data == data && back.iv == cbc.iv);

    const std::size_t cut = 8 * split_blocks;
    const outcome first = run(key, data.substr(0, cut), static_cast<unsigned>(cut), mode, &iv);
    const outcome second = run(key, data.substr(cut), len - static_cast<unsigned>(cut), mode, &first.iv);
    FUZZ_CHECK(first.data + second.data == cbc.data && second.iv == cbc.iv);
    FUZZ_CHECK(run(key, data.substr(0, cut), static_cast<unsigned>(cut), mode, nullptr).data == ecb.data.substr(0, cut));
}

// The payload repeated up to len bytes, so that short inputs reach the longest requests.
std::string stretched(const std::string &payload, std::size_t len)
{
    std::string data;
    while (data.size() < len)
        data += payload.empty() ? std::string(1, '\0') : payload;
    data.resize(len);
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *input, std::size_t size)
{
    FuzzedDataProvider fdp(input, size);
    std::string key = fdp.ConsumeBytesAsString(8);
    std::string iv = fdp.ConsumeBytesAsString(8);
    key.resize(8, '\0');
    iv.resize(8, '\0');
    const auto mode = fdp.ConsumeIntegral<unsigned>();
    const auto shape = fdp.ConsumeIntegralInRange<int>(0, 3);
    const auto number = fdp.ConsumeIntegral<unsigned>();
    const std::string payload = fdp.ConsumeRemainingBytesAsString();

    std::string data;
    switch (shape) {
    case 0:  // the payload as it stands, often of a refused length
        data = payload;
        break;
    case 1:  // whole blocks
        data = payload.substr(0, payload.size() / 8 * 8);
        break;
    case 2:  // whole blocks around the longest request, or a few bytes off them
        data = stretched(payload, max_request - 64 + number % 136);
        break;
    default:  // a length far beyond the buffer, which must be refused unread
        check_refused(key, iv, payload, max_request + 1 + number % (0u - max_request - 1), mode);
        return 0;
    }
    const auto len = static_cast<unsigned>(data.size());
    if (len % 8 != 0 || len > max_request)
        check_refused(key, iv, data, len, mode);
    else
        check_accepted(key, iv, data, mode, number % (len / 8 + 1));
    return 0;
}
