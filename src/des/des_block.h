// DES block requests: the request layer around libcrypto's single-block DES.
#pragma once

#include <cstdint>

#include "dessec.h"

namespace dessec {

inline constexpr unsigned int des_max_request_length = DESSEC_DES_MAX_LEN;

inline constexpr std::int32_t des_chaining_cbc = 0;
inline constexpr std::int32_t des_chaining_ecb = 1;

// One request, carried from the public call to the block loop; lives on the
// caller's stack for one call.
struct des_request {
    unsigned char key[8];     // copy of the caller's key, never written back
    std::int32_t direction;   // 0 encrypt, 1 decrypt
    std::int32_t chaining;    // des_chaining_cbc or des_chaining_ecb
    unsigned char iv[8];      // CBC: the caller's vector in, the chaining value out
};

// Length check, request set-up and choice of status code.
int des_run_request(const char *key, char *data, unsigned int len, unsigned int mode,
                    des_request &request);

// Key schedule, block loop and vector update. Always succeeds with libcrypto.
bool des_process_blocks(unsigned char *data, unsigned int len, des_request &request);

// The work behind the exports, for calls from elsewhere in the library.
int des_ecb_crypt(const char *key, char *data, unsigned int len, unsigned int mode);
int des_cbc_crypt(const char *key, char *data, unsigned int len, unsigned int mode, char *ivec);
void des_set_odd_parity(char *key);

}  // namespace dessec
