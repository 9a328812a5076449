// The requests of `des` under one key, and the padded stream of raw bytes
// that `des --binary` sends through them in constant memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <string>

#include "dessec.h"
#include "secret.h"

namespace cli {

inline constexpr std::size_t max_request = DESSEC_DES_MAX_LEN;  // bytes per library request
inline constexpr std::size_t des_block = DESSEC_DES_KEY_SIZE;
using des_vector = std::array<char, des_block>;

// One chain of requests under one key; the vector carries over in CBC.
class des_chain {
public:
    des_chain(secret_string key, const des_vector &iv, bool cbc, bool decrypt);

    // data: a whole number of blocks, at most max_request bytes.
    void run(char *data, std::size_t size);

private:
    secret_string key_;  // 8 bytes
    des_vector iv_;
    bool cbc_;
    unsigned mode_;
};

// Streams raw bytes through the chain in requests of max_request bytes. With
// padding, encryption ends in 1 to 8 pad bytes of that value (PKCS#7), and
// decryption holds each chunk's last block back until it knows whether the
// block ends the stream, so that a bad pad leaves only good blocks written.
class des_stream {
public:
    des_stream(des_chain &chain, std::FILE *in, std::FILE *out, std::string source, bool pad);

    void encrypt();
    void decrypt();

private:
    std::size_t read_chunk();
    void check_whole_blocks(std::size_t size) const;
    void write_unpadded(const char *last, bool present);

    des_chain &chain_;
    std::FILE *in_;
    std::FILE *out_;
    std::string source_;
    bool pad_;
    secret_string buffer_;  // max_request bytes of plaintext
};

}  // namespace cli
