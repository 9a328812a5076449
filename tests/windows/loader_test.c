/* A Windows program as a user would write it: loads dessec.dll from its own
 * folder at run time, finds the 13 functions by name and by ordinal, and
 * checks known answers, from the main thread and from a second one. */
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <windows.h>

#include <dessec.h>

#include "export_types.h"

/* The exports in byte order of their names: ordinal i + 1 is names[i]. */
static const char *const names[] = {"bin2hex", "cbc_crypt", "decrypt_secret_key", "des_setparity", "dh",
                                    "dh_keysGenerator", "ecb_crypt", "hex2bin", "passwd_crypt",
                                    "passwd_saltgen", "passwd_verify", "xdecrypt", "xencrypt"};
enum { export_count = sizeof names / sizeof names[0] };
static any_fn exported[export_count];

static const char group_modulus[] = DESSEC_DH_MODULUS;
static int failures;

static void check(int ok, const char *what)
{
    if (!ok) {
        printf("FAIL: %s\n", what);
        ++failures;
    }
}

static any_fn by_name(const char *name)
{
    int i;
    for (i = 0; i < export_count; ++i)
        if (strcmp(names[i], name) == 0)
            return exported[i];
    return NULL;
}

static int resolve_exports(HMODULE dll)
{
    char what[96];
    int i;
    for (i = 0; i < export_count; ++i) {
        any_fn named = (any_fn)GetProcAddress(dll, names[i]);
        any_fn numbered = (any_fn)GetProcAddress(dll, MAKEINTRESOURCEA(i + 1));
        snprintf(what, sizeof what, "%s by name and by ordinal %d give the same address", names[i], i + 1);
        check(named != NULL && named == numbered, what);
        exported[i] = named;
    }
    check(GetProcAddress(dll, MAKEINTRESOURCEA(export_count + 1)) == NULL, "no ordinal 14");
    for (i = 0; i < export_count; ++i)
        if (exported[i] == NULL)
            return 0;
    return 1;
}

static void check_des(void)
{
    char key[9] = "\x13\x34\x57\x79\x9b\xbc\xdf\xf1";
    char data[9] = "\x01\x23\x45\x67\x89\xab\xcd\xef";
    char parity[9] = "\x00\x80\xfe\xff\x06\x01\x02\x7f";
    char iv[9] = "\x12\x34\x56\x78\x90\xab\xcd\xef", cbc_key[9] = "\x01\x23\x45\x67\x89\xab\xcd\xef";
    char text[25] = "Now is the time for all ";
    check(((ecb_fn)by_name("ecb_crypt"))(key, data, 8, 0) == 1
              && memcmp(data, "\x85\xe8\x13\x54\x0f\x0a\xb4\x05", 8) == 0,
          "ecb_crypt known answer");
    check(((cbc_fn)by_name("cbc_crypt"))(cbc_key, text, 24, 0, iv) == 1
              && memcmp(text, "\xe5\xc7\xcd\xde\x87\x2b\xf2\x7c\x43\xe9\x34\x00\x8c\x38\x9c\x0f"
                              "\x68\x37\x88\x49\x9a\x7c\x05\xf6", 24) == 0
              && memcmp(iv, text + 16, 8) == 0,
          "cbc_crypt known answer");
    check(((cbc_fn)by_name("cbc_crypt"))(cbc_key, text, 12, 2, iv) == 3, "cbc_crypt refuses length 12");
    ((setparity_fn)by_name("des_setparity"))(parity);
    check(memcmp(parity, "\x01\x01\x7f\x7f\x07\x01\x02\x7f", 8) == 0, "des_setparity known answer");
}

static void check_hex_and_secrets(void)
{
    unsigned char bytes[4];
    char hex[9];
    char record[DESSEC_RECORD_BUFFER] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    ((hex2bin_fn)by_name("hex2bin"))(4, "DEADbeef", bytes);
    ((bin2hex_fn)by_name("bin2hex"))(4, bytes, hex);
    check(memcmp(bytes, "\xde\xad\xbe\xef", 4) == 0 && strcmp(hex, "deadbeef") == 0, "hex2bin and bin2hex");
    check(((text_fn)by_name("xencrypt"))(record, "s3cret!") == 1
              && strcmp(record, "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef") != 0,
          "xencrypt");
    check(((text_fn)by_name("decrypt_secret_key"))(record, "s3cret!") == 1
              && strcmp(record, "0123456789abcdef0123456789abcdef0123456789abcdef") == 0,
          "decrypt_secret_key opens what xencrypt sealed");
}

static void check_dh(void)
{
    dh_fn dh = (dh_fn)by_name("dh");
    char base[] = "3", exponent[] = "0123456789abcdef0123456789abcdef0123456789abcdef", modulus[DESSEC_KEY_BUFFER], out[DESSEC_DH_OUT_BUFFER];
    char secret_a[DESSEC_KEY_BUFFER], public_a[DESSEC_KEY_BUFFER], secret_b[DESSEC_KEY_BUFFER], public_b[DESSEC_KEY_BUFFER];
    char common_a[DESSEC_DH_OUT_BUFFER], common_b[DESSEC_DH_OUT_BUFFER];
    strcpy(modulus, group_modulus);
    dh(base, exponent, modulus, out);
    check(strcmp(out, "0893B637888AAA67C2507A72DCE1D4107D4523D579CBB14A") == 0, "dh known answer");
    check(((keys_fn)by_name("dh_keysGenerator"))(secret_a, public_a) == 0
              && ((keys_fn)by_name("dh_keysGenerator"))(secret_b, public_b) == 0
              && strlen(secret_a) == DESSEC_SECRET_KEY_DIGITS && strcmp(secret_a, secret_b) != 0,
          "dh_keysGenerator makes two different key pairs");
    strcpy(modulus, group_modulus);
    dh(public_b, secret_a, modulus, common_a);
    strcpy(modulus, group_modulus);
    dh(public_a, secret_b, modulus, common_b);
    check(strlen(common_a) > 0 && strcmp(common_a, common_b) == 0, "both sides agree on the common key");
}

static const char *hash_is(const char *passwd, const char *setting, const char *expected)
{
    const char *hash = ((crypt_fn)by_name("passwd_crypt"))(passwd, setting);
    return hash != NULL && strcmp(hash, expected) == 0 ? hash : NULL;
}

static int is_crypt64(char c)
{
    return c != '\0' && strchr("./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", c) != NULL;
}

static void check_passwd(void)
{
    verify_fn verify = (verify_fn)by_name("passwd_verify");
    char salt[3];
    int i, letters = 0;
    check(hash_is("password", "ab", "abJnggxhB/yWI") != NULL, "passwd_crypt traditional known answer");
    check(hash_is("password", "_J9..CCCC", "_J9..CCCC.MOp/ZbelpA") != NULL,
          "passwd_crypt extended known answer");
    check(verify("password", "abJnggxhB/yWI") == 1 && verify("Password", "abJnggxhB/yWI") == 0,
          "passwd_verify, traditional hash");
    check(verify("password", "$1$abcdefgh$G//4keteveJp0qb8z2DxG/") == 1
              && verify("passwore", "$1$abcdefgh$G//4keteveJp0qb8z2DxG/") == 0,
          "passwd_verify, MD5 hash");
    for (i = 0; i < 20; ++i) {
        const int result = ((saltgen_fn)by_name("passwd_saltgen"))(salt);
        const int alpha = isalpha((unsigned char)salt[0]) && isalpha((unsigned char)salt[1]);
        check(is_crypt64(salt[0]) && is_crypt64(salt[1]) && salt[2] == '\0' && result == alpha, "passwd_saltgen");
        letters += result;
    }
    check(letters > 0, "passwd_saltgen draws letters");
}

/* The second thread's passwd_crypt result lives in a buffer of its own. */
static DWORD WINAPI second_thread(LPVOID main_result)
{
    const char *hash = hash_is("correct horse battery", "Xy", "XylJt/8b2k7dE");
    check(hash != NULL && hash != (const char *)main_result, "a second thread gets a result buffer of its own");
    check_des();
    check_dh();
    return 0;
}

int main(void)
{
    HMODULE dll = LoadLibraryA("dessec.dll");
    const char *main_result;
    HANDLE thread;
    int i;
    check(dll != NULL && FreeLibrary(dll) != 0, "loading and unloading without a call between");
    dll = LoadLibraryA("dessec.dll");
    if (dll == NULL) {
        printf("FAIL: LoadLibrary(dessec.dll): error %lu\n", GetLastError());
        return 1;
    }
    if (!resolve_exports(dll)) {
        printf("FAIL: exports missing\n");
        return 1;
    }
    check_des();
    check_hex_and_secrets();
    check_dh();
    check_passwd();
    main_result = hash_is("password", "ab", "abJnggxhB/yWI");
    for (i = 0; i < 3; ++i) {
        thread = CreateThread(NULL, 0, second_thread, (LPVOID)main_result, 0, NULL);
        check(thread != NULL && WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0, "second thread ran");
        if (thread != NULL)
            CloseHandle(thread);
    }
    check(main_result != NULL && strcmp(main_result, "abJnggxhB/yWI") == 0,
          "the main thread's result is untouched by the other threads");
    check(FreeLibrary(dll) != 0, "FreeLibrary");
    printf("loader_test: %d exports by name and ordinal, %s\n", export_count,
           failures ? "FAILED" : "all checks passed");
    return failures != 0;
}
