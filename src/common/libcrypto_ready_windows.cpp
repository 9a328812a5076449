// The libcrypto linked into the Windows DLL starts at the first call that
// draws random bytes, not in the entry point: there it would run under the
// loader lock, and its failure would fail the host's LoadLibrary instead of
// the one call that needed it.
#include "common/libcrypto_ready.h"

#include <windows.h>

#include <openssl/crypto.h>

namespace dessec {
namespace {

INIT_ONCE libcrypto_start = INIT_ONCE_STATIC_INIT;

// No exit hook: run at process exit it would call into a DLL that
// FreeLibrary may have unloaded long before; the entry point cleans up at
// unload instead. No configuration, whatever libcrypto's build: a host's
// openssl.cnf (OPENSSL_CONF) is for the host's own OpenSSL, and one naming a
// provider the DLL lacks would leave its random generator unusable.
BOOL CALLBACK start_libcrypto(INIT_ONCE *, void *, void **)
{
    return OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT | OPENSSL_INIT_NO_LOAD_CONFIG, nullptr) == 1;
}

}  // namespace

bool libcrypto_ready()
{
    return InitOnceExecuteOnce(&libcrypto_start, start_libcrypto, nullptr, nullptr) != FALSE;
}

}  // namespace dessec
