// The kernel's generator, getrandom: it blocks only until the kernel's pool
// is first seeded, and reads of up to 256 bytes are never cut short by a
// signal; longer ones are taken in turns all the same.
#include "common/random.h"

#include <cerrno>

#include <sys/random.h>

namespace dessec {

bool system_random_bytes(unsigned char *out, std::size_t n)
{
    while (n > 0) {
        const ssize_t got = getrandom(out, n, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace dessec
