#include "secret.h"

namespace cli {

void wipe(void *secret, std::size_t size)
{
    volatile auto *p = static_cast<volatile unsigned char *>(secret);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

}  // namespace cli
