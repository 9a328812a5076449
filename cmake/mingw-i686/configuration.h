/*
 * OpenSSL's build configuration for the 32-bit Windows cross build. The
 * private include folder holds the build machine's OpenSSL headers and, as
 * host-configuration.h, its configuration header, which describes a 64-bit
 * Linux target; this file takes its place and corrects what differs.
 *
 * Layouts the library depends on: DES_LONG (des.h) and MD5_LONG (md5.h) are
 * fixed as unsigned int in the headers themselves, 32 bits on i686 Windows as
 * on Linux, so DES_key_schedule (128 bytes) and MD5_CTX (92 bytes) match a
 * 32-bit Windows libcrypto as they stand. What the host header gets wrong is
 * the big-number word: a 32-bit libcrypto uses 32-bit words with 64-bit
 * intermediate products, not 64-bit longs.
 */
#ifndef DESSEC_MINGW_OPENSSL_CONFIGURATION_H
#define DESSEC_MINGW_OPENSSL_CONFIGURATION_H

#include "host-configuration.h"

#ifndef OPENSSL_SYS_MINGW32
#define OPENSSL_SYS_MINGW32 1
#endif

#undef SIXTY_FOUR_BIT_LONG
#undef SIXTY_FOUR_BIT
#define BN_LLONG
#define THIRTY_TWO_BIT

#endif
