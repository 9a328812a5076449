#include "common/random.h"

#include <cerrno>
#include <climits>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/rand.h>

#include "common/libcrypto_ready.h"

namespace dessec {
namespace {

// libcrypto's generator: its first use reads libcrypto's configuration
// (OPENSSL_CONF or the system's file), which may leave errno set or the
// generator broken. The Windows DLL starts its own libcrypto here, and falls
// back on the system's generator when that start fails. What a failure puts
// on the thread's error queue is taken off again: on Linux the queue is the
// host's, whose own OpenSSL calls read it.
bool libcrypto_random_bytes(unsigned char *out, std::size_t n)
{
    if (n > INT_MAX || !libcrypto_ready())
        return false;
    ERR_set_mark();
    const bool filled = RAND_bytes(out, static_cast<int>(n)) == 1;
    ERR_pop_to_mark();
    return filled;
}

}  // namespace

bool random_bytes(unsigned char *out, std::size_t n)
{
    const int caller_errno = errno;
    const bool filled = libcrypto_random_bytes(out, n) || system_random_bytes(out, n);
    if (!filled)
        OPENSSL_cleanse(out, n);
    errno = caller_errno;
    return filled;
}

}  // namespace dessec
