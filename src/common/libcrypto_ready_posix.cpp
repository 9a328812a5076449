// The host's libcrypto starts itself at its first use, with the host's
// configuration: nothing to do.
#include "common/libcrypto_ready.h"

namespace dessec {

bool libcrypto_ready()
{
    return true;
}

}  // namespace dessec
