// libcrypto started before a call draws random bytes from it.
#pragma once

namespace dessec {

// True once libcrypto is ready for RAND_bytes. The Windows DLL starts its
// own libcrypto here, at the first call that needs it and once for all
// threads, not at load; false when that start failed. Elsewhere the
// library shares the host's libcrypto, which starts itself: always true.
bool libcrypto_ready();

}  // namespace dessec
