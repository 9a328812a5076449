// The system's generator through the CryptoAPI of advapi32.dll, the calls
// that the DLL's static libcrypto makes for its own seed: the DLL imports
// nothing that it did not import already.
#include "common/random.h"

#include <algorithm>

#include <windows.h>
#include <wincrypt.h>

namespace dessec {

bool system_random_bytes(unsigned char *out, std::size_t n)
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return false;
    bool filled = true;
    while (filled && n > 0) {
        const auto part = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 20));
        filled = CryptGenRandom(provider, part, out) != 0;
        out += part;
        n -= part;
    }
    CryptReleaseContext(provider, 0);
    return filled;
}

}  // namespace dessec
