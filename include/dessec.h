/*
 * dessec: DES-based security utilities behind a C interface.
 *
 * Rules that hold for every function below:
 *   - The caller owns every buffer and sizes it as stated; no function checks
 *     a size or a pointer, and null pointers are outside the contract unless a
 *     function says otherwise.
 *   - Texts are NUL-terminated. Several calls rewrite the caller's text in place.
 *   - Results are small integer codes; nothing is printed, logged or thrown,
 *     and errno is left as the caller set it.
 *   - Hexadecimal text carries two characters per byte, the high nibble first.
 *   - No buffer needs any alignment; outputs may overlap inputs only where a
 *     function says so (hex2bin in place).
 *
 * Thread safety: every function may be called from many threads at once, as
 * long as the threads do not share a buffer or a text that they pass (dh
 * writes into its input texts too). The result text of passwd_crypt belongs
 * to the calling thread: the returned pointer shows the latest result of
 * that thread's calls, and no other thread's call changes it. Only
 * ecb_crypt, cbc_crypt, des_setparity, hex2bin and bin2hex are
 * async-signal-safe: the others allocate or take locks.
 *
 * Random numbers (dh_keysGenerator, passwd_saltgen) come from libcrypto's
 * generator, which on Linux reads libcrypto's configuration (OPENSSL_CONF or
 * the system's openssl.cnf) at its first use, or from the operating system's
 * generator when libcrypto's fails; only when both fail do the two calls
 * report a failure.
 */
#ifndef DESSEC_H
#define DESSEC_H

/* The version of this header. The build checks that it agrees with the
 * project's VERSION file, which the tool, dessec.pc and the CMake package
 * report too. */
#define DESSEC_VERSION_MAJOR 0
#define DESSEC_VERSION_MINOR 1
#define DESSEC_VERSION_PATCH 0
#define DESSEC_VERSION_STRING "0.1.0"

/* Windows: the functions are imported from dessec.dll, and on 32-bit Windows
 * they use the C calling convention, __cdecl, whatever a program's own
 * default (/Gz, /Gr, /Gv, -mrtd). A program that links the library
 * statically instead defines DESSEC_STATIC before it includes this header.
 * 64-bit Windows has one calling convention. */
#if defined(_WIN32)
#if defined(DESSEC_STATIC)
#define DESSEC_API
#else
#define DESSEC_API __declspec(dllimport)
#endif
#if defined(_WIN64)
#define DESSEC_CALL
#else
#define DESSEC_CALL __cdecl
#endif
#elif defined(__GNUC__)
#define DESSEC_API __attribute__((visibility("default")))
#define DESSEC_CALL
#else
#define DESSEC_API
#define DESSEC_CALL
#endif

/* ---------------------------------------------------------------- Caller's limits */

/* The sizes every caller works with, in bytes or hexadecimal digits. */
#define DESSEC_DES_KEY_SIZE 8            /* a DES key and a CBC vector */
#define DESSEC_DES_MAX_LEN 8192          /* the longest ecb_crypt or cbc_crypt request */
#define DESSEC_HEX_MAX_DIGITS 16384      /* the longest text xencrypt and xdecrypt take */
#define DESSEC_SECRET_KEY_DIGITS 48      /* a Diffie-Hellman secret or public key */
#define DESSEC_KEY_BUFFER 49             /* a key text and its NUL */
#define DESSEC_RECORD_DIGITS 64          /* a secret-key record: the key and 16 check digits */
#define DESSEC_RECORD_BUFFER 65          /* a record and its NUL */
#define DESSEC_DH_OUT_BUFFER 51          /* dh's output under any modulus */
#define DESSEC_CRYPT_BUFFER 21           /* the longest passwd_crypt result and its NUL */
#define DESSEC_SALT_BUFFER 3             /* passwd_saltgen's two characters and a NUL */

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- DES blocks */

/* Mode word of ecb_crypt and cbc_crypt: only bits 0 and 1 are read. */
enum {
    des_mode_encrypt = 0,   /* bit 0 clear */
    des_mode_decrypt = 1,   /* bit 0 set */
    des_mode_report_ok = 2  /* a completed request returns des_status_ok, not des_status_done */
};

/* Status codes of ecb_crypt and cbc_crypt; 0 and 1 both mean success. */
enum {
    des_status_ok = 0,            /* done, and des_mode_report_ok was set */
    des_status_done = 1,          /* done, and des_mode_report_ok was clear */
    des_status_engine_error = 2,  /* reserved: the block engine cannot fail */
    des_status_bad_length = 3     /* length not a multiple of 8, or above 8192; nothing changed */
};

/* Single DES, electronic codebook, in place.
 * key: 8 bytes (bit 0 of each is parity and ignored); data: len bytes;
 * len: a multiple of 8, at most 8192. Returns a des_status_* code. */
DESSEC_API int DESSEC_CALL ecb_crypt(char *key, char *data, unsigned int len, unsigned int mode);

/* Single DES, cipher block chaining, in place.
 * As ecb_crypt, plus ivec: 8 bytes, read as the starting vector and updated to
 * the last ciphertext block so that consecutive calls chain like one call.
 * A request of length 0 or a refused length leaves ivec unchanged. ivec must
 * not lie inside data. */
DESSEC_API int DESSEC_CALL cbc_crypt(char *key, char *data, unsigned int len, unsigned int mode, char *ivec);

/* Rewrites 8 key bytes in place to odd parity, clearing bit 7 of each. */
DESSEC_API void DESSEC_CALL des_setparity(char *key);

/* ---------------------------------------------------------------- Hex texts */

/* Reads 2*len characters of text and writes len bytes to out; len <= 0 does nothing.
 * Digits of either case; other characters convert leniently, never refused.
 * out may be text itself (conversion in place). */
DESSEC_API void DESSEC_CALL hex2bin(int len, const char *text, unsigned char *out);

/* Writes 2*len lower-case digits and a NUL (2*len + 1 bytes) to out.
 * len <= 0 writes a lone NUL. out must not overlap bytes. */
DESSEC_API void DESSEC_CALL bin2hex(int len, const unsigned char *bytes, char *out);

/* Encrypts (xencrypt) or decrypts (xdecrypt) a hexadecimal text in place with
 * DES-CBC under a key made from the first 8 characters of the password.
 * The text must have 16k or 16k+1 characters (k from 0 to 1024); a last odd
 * character is dropped. Returns 1 on success, 0 with the text untouched
 * otherwise. */
DESSEC_API int DESSEC_CALL xencrypt(char *secret, const char *passwd);
DESSEC_API int DESSEC_CALL xdecrypt(char *secret, const char *passwd);

/* Decrypts a 64-digit secret-key record in place and checks its check digits.
 * Returns 1 and leaves the 48-digit secret key when the password is right;
 * returns 0 otherwise (the text is then not the record any more, except when
 * it could not be decrypted at all, in which case it is untouched). The check
 * compares plaintext digits 1-16 with 49-64: damage confined to record digits
 * 17-32 garbles key digits 17-48 only and still returns 1. */
DESSEC_API int DESSEC_CALL decrypt_secret_key(char *secret, const char *passwd);

/* ---------------------------------------------------------------- Diffie-Hellman */

/* Writes base^exponent mod modulus to out as upper-case hexadecimal text
 * without leading zero bytes, then a NUL. The three texts are writable and
 * lower-cased in place; only their last 50 digits count, and any other
 * character is read as a digit of some value ("g" as 16), never refused.
 * Exponent 0 gives "01" whatever the modulus; modulus 0 gives the power
 * modulo 2^200. out needs 49 bytes for a modulus of at most 48 digits, 51 in
 * general. A zero result, or a failure to allocate, writes nothing at all. */
DESSEC_API void DESSEC_CALL dh(char *base, char *exponent, char *modulus, char *out);

/* Makes a key pair in the fixed 192-bit group with base 3: a random 48-digit
 * secret key, uniform over 192 bits (so at or above the modulus about one
 * time in six), and its public key, both lower case. Each buffer: 49 bytes.
 * Returns 0 on success, -1 when both random generators or an allocation
 * fail. */
DESSEC_API int DESSEC_CALL dh_keysGenerator(char *secret, char *public_key);

/* ---------------------------------------------------------------- Diffie-Hellman group */

/* The fixed group of dh_keysGenerator as lower-case hexadecimal texts, ready
 * to pass to dh (through a writable copy: dh lower-cases its texts in place).
 * A public key of the group is DESSEC_DH_BASE^secret mod DESSEC_DH_MODULUS,
 * and the common key of two parties is dh(their public key, own secret,
 * DESSEC_DH_MODULUS). The modulus has 192 bits, 48 digits. */
#define DESSEC_DH_BASE "3"
#define DESSEC_DH_MODULUS "d4a0ba0250b6fd2ec626e7efd637df76c716e22d0944b88b"

/* ---------------------------------------------------------------- Passwords */

/* DES-based password hash. setting: a two-character salt (13-character
 * result) or "_" with four count and four salt characters (20 characters);
 * a whole stored hash may be passed. Returns storage of the calling thread,
 * valid until the thread ends, that the thread's next passwd_crypt call
 * overwrites, as may its passwd_verify of a DES-based hash. Never null: a
 * short setting reads as if "." filled it, a character outside ./0-9A-Za-z
 * counts 0 and is copied into the result, a setting beginning "$" is a
 * two-character salt, and count 0 ("_....") hashes every password alike.
 * Only on Windows, where a thread can get no storage (TlsAlloc or the heap
 * failing), it returns "*0" ("*1" for a setting beginning "*0"), which no
 * hash equals. */
DESSEC_API char *DESSEC_CALL passwd_crypt(const char *key, const char *setting);

/* Checks a password against a stored DES-based or "$1$" MD5-based hash; text
 * after a first comma is ignored, and the salt is taken as passwd_crypt takes
 * it. Returns 1 on a match, 0 otherwise (also for a null password or a null
 * stored hash, an extended hash of count 0, other schemes and a hash locked
 * by a "!" or "*" put before it). */
DESSEC_API int DESSEC_CALL passwd_verify(const char *passwd, const char *stored);

/* Writes a random two-character salt and a NUL (3 bytes). Returns 1 when both
 * characters are letters, 0 otherwise; the salt is usable either way. Only
 * when both random generators fail is the salt ".." for want of randomness. */
DESSEC_API int DESSEC_CALL passwd_saltgen(char *salt);

#ifdef __cplusplus
}
#endif

#endif /* DESSEC_H */
