/* A caller built against the installed library only: its header, its CMake
 * package or its pkg-config file, and the shared library. The build defines
 * DESSEC_EXPECTED_VERSION as the version that the package reports. */
#include <stdio.h>
#include <string.h>

#include <dessec.h>

static int check(int ok, const char *what)
{
    if (!ok)
        fprintf(stderr, "installed library: %s\n", what);
    return ok;
}

int main(void)
{
    char key[8] = {0x01, 0x23, 0x45, 0x67, (char)0x89, (char)0xab, (char)0xcd, (char)0xef};
    char block[8] = "Now is t";
    static const unsigned char cipher[8] = {0x3f, 0xa4, 0x0e, 0x8a, 0x98, 0x4d, 0x48, 0x15};
    char parity_key[8] = {0x00, (char)0xff, (char)0x80, 0x01, 0x02, 0x13, (char)0xfe, 0x7e};
    static const char odd_parity[8] = {0x01, 0x7f, 0x01, 0x01, 0x02, 0x13, 0x7f, 0x7f};
    char record[DESSEC_RECORD_BUFFER] = "00112233445566778899aabbccddeeff0011223344556677" "0011223344556677";
    char secret[DESSEC_KEY_BUFFER] = {0}, public_key[DESSEC_KEY_BUFFER] = {0}, base[] = DESSEC_DH_BASE;
    char modulus[] = DESSEC_DH_MODULUS, again[51] = {0};
    char version[32];
    int ok = 1;

    snprintf(version, sizeof version, "%d.%d.%d", DESSEC_VERSION_MAJOR, DESSEC_VERSION_MINOR,
             DESSEC_VERSION_PATCH);
    ok &= check(strcmp(version, DESSEC_VERSION_STRING) == 0
                && strcmp(DESSEC_VERSION_STRING, DESSEC_EXPECTED_VERSION) == 0,
                "the header's version macros differ from the package's version");

    ok &= check(ecb_crypt(key, block, 8, des_mode_encrypt) == des_status_done
                && memcmp(block, cipher, 8) == 0, "ecb_crypt encrypted the FIPS 81 block wrongly");
    ok &= check(ecb_crypt(key, block, 8, des_mode_decrypt | des_mode_report_ok) == des_status_ok
                && memcmp(block, "Now is t", 8) == 0, "ecb_crypt did not decrypt it back");
    des_setparity(parity_key);
    ok &= check(memcmp(parity_key, odd_parity, 8) == 0, "des_setparity set the wrong bits");

    ok &= check(xencrypt(record, "password") == 1 && decrypt_secret_key(record, "password") == 1
                && strcmp(record, "00112233445566778899aabbccddeeff0011223344556677") == 0,
                "a sealed secret-key record did not open again");
    ok &= check(dh_keysGenerator(secret, public_key) == 0, "dh_keysGenerator failed");
    dh(base, secret, modulus, again);
    for (char *c = again; *c; ++c)
        *c = (char)(*c >= 'A' && *c <= 'F' ? *c + 32 : *c);
    ok &= check(strcmp(again, public_key) == 0, "dh does not reproduce the public key");
    ok &= check(passwd_verify("secret", passwd_crypt("secret", "ab")) == 1, "passwd_verify refused its own hash");
    return ok ? 0 : 1;
}
