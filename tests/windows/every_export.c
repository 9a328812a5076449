/* A Windows program that calls all 13 functions through the header and an
 * import library, with known answers. It is built with either default
 * calling convention (a caller that pops nothing after a __cdecl call soon
 * reads its own variables at the wrong places), and as C or C++.
 *
 * It needs no C runtime: clang-cl here has none, so with
 * DESSEC_CONSUMER_NO_CRT it starts at consumer_start, and it writes through
 * KERNEL32 alone. */
#include "dessec.h"

#if defined(_WIN64)
#define SYSTEM_CALL
#else
#define SYSTEM_CALL __stdcall
#endif

#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) void *SYSTEM_CALL GetStdHandle(unsigned long which);
__declspec(dllimport) int SYSTEM_CALL WriteFile(void *file, const void *bytes, unsigned long count,
                                                 unsigned long *written, void *overlapped);
__declspec(dllimport) void SYSTEM_CALL ExitProcess(unsigned int code);
#ifdef __cplusplus
}
#endif

static int failures;

static unsigned long text_length(const char *text)
{
    unsigned long n = 0;
    while (text[n] != '\0')
        ++n;
    return n;
}

static void say(const char *text)
{
    unsigned long written = 0;
    WriteFile(GetStdHandle((unsigned long)-11), text, text_length(text), &written, 0);
}

static int same_bytes(const void *a, const void *b, unsigned long n)
{
    const unsigned char *x = (const unsigned char *)a, *y = (const unsigned char *)b;
    unsigned long i;
    for (i = 0; i < n; ++i)
        if (x[i] != y[i])
            return 0;
    return 1;
}

static int same_text(const char *a, const char *b)
{
    return text_length(a) == text_length(b) && same_bytes(a, b, text_length(a));
}

static void copy_text(char *to, const char *from)
{
    unsigned long i;
    for (i = 0; from[i] != '\0'; ++i)
        to[i] = from[i];
    to[i] = '\0';
}

static void check(int ok, const char *what)
{
    if (!ok) {
        say("FAIL: ");
        say(what);
        say("\n");
        ++failures;
    }
}

static void check_des(void)
{
    char key[9] = "\x13\x34\x57\x79\x9b\xbc\xdf\xf1", data[9] = "\x01\x23\x45\x67\x89\xab\xcd\xef";
    char parity[9] = "\x00\x80\xfe\xff\x06\x01\x02\x7f";
    char iv[9] = "\x12\x34\x56\x78\x90\xab\xcd\xef", cbc_key[9] = "\x01\x23\x45\x67\x89\xab\xcd\xef";
    char text[25];
    copy_text(text, "Now is the time for all ");
    check(ecb_crypt(key, data, 8, des_mode_encrypt) == des_status_done
              && same_bytes(data, "\x85\xe8\x13\x54\x0f\x0a\xb4\x05", 8),
          "ecb_crypt");
    check(cbc_crypt(cbc_key, text, 24, des_mode_encrypt, iv) == des_status_done
              && same_bytes(text, "\xe5\xc7\xcd\xde\x87\x2b\xf2\x7c\x43\xe9\x34\x00\x8c\x38\x9c\x0f"
                                  "\x68\x37\x88\x49\x9a\x7c\x05\xf6", 24)
              && same_bytes(iv, text + 16, 8),
          "cbc_crypt");
    check(cbc_crypt(cbc_key, text, 12, des_mode_report_ok, iv) == des_status_bad_length,
          "cbc_crypt refuses length 12");
    des_setparity(parity);
    check(same_bytes(parity, "\x01\x01\x7f\x7f\x07\x01\x02\x7f", 8), "des_setparity");
}

static void check_hex_and_secrets(void)
{
    unsigned char bytes[4];
    char hex[9], record[DESSEC_RECORD_BUFFER], secret[33], sealed[33];
    hex2bin(4, "DEADbeef", bytes);
    bin2hex(4, bytes, hex);
    check(same_bytes(bytes, "\xde\xad\xbe\xef", 4) && same_text(hex, "deadbeef"), "hex2bin and bin2hex");
    copy_text(secret, "00112233445566778899aabbccddeeff");
    copy_text(sealed, secret);
    check(xencrypt(sealed, "s3cret!") == 1 && !same_text(sealed, secret) && xdecrypt(sealed, "s3cret!") == 1
              && same_text(sealed, secret),
          "xdecrypt opens what xencrypt sealed");
    copy_text(record, "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
    check(xencrypt(record, "s3cret!") == 1 && decrypt_secret_key(record, "s3cret!") == 1
              && same_text(record, "0123456789abcdef0123456789abcdef0123456789abcdef"),
          "decrypt_secret_key opens what xencrypt sealed");
}

static void check_dh(void)
{
    char base[2], exponent[DESSEC_KEY_BUFFER], modulus[DESSEC_KEY_BUFFER], out[DESSEC_DH_OUT_BUFFER];
    char secret_a[DESSEC_KEY_BUFFER], public_a[DESSEC_KEY_BUFFER], secret_b[DESSEC_KEY_BUFFER], public_b[DESSEC_KEY_BUFFER];
    char common_a[DESSEC_DH_OUT_BUFFER], common_b[DESSEC_DH_OUT_BUFFER];
    const char *group = DESSEC_DH_MODULUS;
    copy_text(base, "3");
    copy_text(exponent, "0123456789abcdef0123456789abcdef0123456789abcdef");
    copy_text(modulus, group);
    dh(base, exponent, modulus, out);
    check(same_text(out, "0893B637888AAA67C2507A72DCE1D4107D4523D579CBB14A"), "dh");
    check(dh_keysGenerator(secret_a, public_a) == 0 && dh_keysGenerator(secret_b, public_b) == 0
              && text_length(secret_a) == DESSEC_SECRET_KEY_DIGITS && !same_text(secret_a, secret_b),
          "dh_keysGenerator");
    copy_text(modulus, group);
    dh(public_b, secret_a, modulus, common_a);
    copy_text(modulus, group);
    dh(public_a, secret_b, modulus, common_b);
    check(text_length(common_a) > 0 && same_text(common_a, common_b), "dh agreement");
}

static void check_passwd(void)
{
    char salt[3];
    const char *hash = passwd_crypt("password", "ab");
    check(hash != 0 && same_text(hash, "abJnggxhB/yWI"), "passwd_crypt");
    check(passwd_verify("password", "abJnggxhB/yWI") == 1 && passwd_verify("Password", "abJnggxhB/yWI") == 0
              && passwd_verify("password", "$1$abcdefgh$G//4keteveJp0qb8z2DxG/") == 1,
          "passwd_verify");
    check(passwd_saltgen(salt) >= 0 && salt[0] != '\0' && salt[1] != '\0' && salt[2] == '\0', "passwd_saltgen");
}

/* Each function many times over, so that a caller's stack drifts far if it
 * and the library disagree on who pops the arguments. */
static int run_checks(void)
{
    int round;
    for (round = 0; round < 20; ++round) {
        check_des();
        check_hex_and_secrets();
        check_dh();
        check_passwd();
    }
    say(failures == 0 ? "every export: all checks passed\n" : "every export: FAILED\n");
    return failures != 0;
}

#ifdef DESSEC_CONSUMER_NO_CRT
#ifdef __cplusplus
extern "C"
#endif
void __cdecl consumer_start(void);
void __cdecl consumer_start(void)
{
    ExitProcess((unsigned int)run_checks());
}
#else
int main(void)
{
    return run_checks();
}
#endif
