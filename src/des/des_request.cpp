#include "des/des_block.h"

#include <cstring>

#include <openssl/crypto.h>
#include <openssl/des.h>

#include "common/byte_order.h"
#include "dessec.h"

namespace dessec {
namespace {

bool length_is_acceptable(unsigned int len)
{
    return len % 8 == 0 && len <= des_max_request_length;
}

// The words of the last block, plaintext when decrypting, are wiped.
void run_ecb(unsigned char *data, unsigned int len, DES_key_schedule &schedule, int enc)
{
    DES_LONG block[2];
    for (unsigned int at = 0; at < len; at += 8) {
        block[0] = load_le32(data + at);
        block[1] = load_le32(data + at + 4);
        DES_encrypt1(block, &schedule, enc);
        store_le32(data + at, block[0]);
        store_le32(data + at + 4, block[1]);
    }
    OPENSSL_cleanse(block, sizeof block);
}

}  // namespace

int des_run_request(const char *key, char *data, unsigned int len, unsigned int mode,
                    des_request &request)
{
    if (!length_is_acceptable(len))
        return des_status_bad_length;
    std::memcpy(request.key, key, sizeof request.key);
    request.direction = static_cast<std::int32_t>(mode & des_mode_decrypt);
    const bool done = des_process_blocks(reinterpret_cast<unsigned char *>(data), len, request);
    OPENSSL_cleanse(request.key, sizeof request.key);
    if (!done)
        return des_status_engine_error;
    return (mode & des_mode_report_ok) ? des_status_ok : des_status_done;
}

// In both directions the vector ends as the last ciphertext block; an empty
// request leaves it as it was, so a message split into several requests,
// empty ones included, chains exactly like one request.
bool des_process_blocks(unsigned char *data, unsigned int len, des_request &request)
{
    if (len == 0)
        return true;
    DES_key_schedule schedule;
    DES_set_key_unchecked(reinterpret_cast<const_DES_cblock *>(request.key), &schedule);
    const int enc = request.direction ? DES_DECRYPT : DES_ENCRYPT;
    if (request.chaining == des_chaining_cbc) {
        // DES_ncbc_encrypt works in place and leaves the last ciphertext block
        // in the vector for either direction.
        DES_ncbc_encrypt(data, data, static_cast<long>(len), &schedule,
                         reinterpret_cast<DES_cblock *>(request.iv), enc);
    } else {
        run_ecb(data, len, schedule, enc);
    }
    OPENSSL_cleanse(&schedule, sizeof schedule);
    return true;
}

int des_ecb_crypt(const char *key, char *data, unsigned int len, unsigned int mode)
{
    des_request request{};
    request.chaining = des_chaining_ecb;
    return des_run_request(key, data, len, mode, request);
}

int des_cbc_crypt(const char *key, char *data, unsigned int len, unsigned int mode, char *ivec)
{
    des_request request{};
    request.chaining = des_chaining_cbc;
    std::memcpy(request.iv, ivec, sizeof request.iv);
    const int status = des_run_request(key, data, len, mode, request);
    std::memcpy(ivec, request.iv, sizeof request.iv);
    OPENSSL_cleanse(request.iv, sizeof request.iv);
    return status;
}

// Keeps bits 1-6, clears bit 7 and sets bit 0 so that the byte has an odd
// number of one bits.
void des_set_odd_parity(char *key)
{
    for (int i = 0; i < 8; ++i) {
        const unsigned kept = static_cast<unsigned char>(key[i]) & 0x7eu;
        const unsigned even = (__builtin_popcount(kept) & 1u) ^ 1u;
        key[i] = static_cast<char>(kept | even);
    }
}

}  // namespace dessec

extern "C" {

DESSEC_API int ecb_crypt(char *key, char *data, unsigned int len, unsigned int mode)
{
    return dessec::des_ecb_crypt(key, data, len, mode);
}

DESSEC_API int cbc_crypt(char *key, char *data, unsigned int len, unsigned int mode, char *ivec)
{
    return dessec::des_cbc_crypt(key, data, len, mode, ivec);
}

DESSEC_API void des_setparity(char *key)
{
    dessec::des_set_odd_parity(key);
}

}  // extern "C"
