// The texts of the dh benchmarks: the group's modulus, a secret key, base 3
// and a peer's public key.
#pragma once

#include <string>

#include "dessec.h"

namespace dessec_bench {

struct dh_texts {
    std::string modulus = DESSEC_DH_MODULUS;
    std::string secret = "8f3a27c55b0e1d964ac2f07e13b94d6a80c5e21f7d394b06";
    std::string three = DESSEC_DH_BASE;
    std::string peer_public;

    dh_texts()
    {
        std::string peer_secret = "3b9e0c71d24a68f5e0b7c3192d8a4f6e517c0b3d9a2e8f41";
        char out[DESSEC_KEY_BUFFER] = {};
        dh(three.data(), peer_secret.data(), modulus.data(), out);
        peer_public = out;
    }
};

// The base is one of the texts: 3 for a public key, the peer's public key
// for a common key.
using base_text = std::string dh_texts::*;

}  // namespace dessec_bench
