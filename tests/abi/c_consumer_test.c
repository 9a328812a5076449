/* A C99 program that uses the public header as a caller would. */
#include <stdio.h>
#include <string.h>

#include "dessec.h"

int main(void)
{
    char key[8] = {0x01, 0x23, 0x45, 0x67, (char)0x89, (char)0xab, (char)0xcd, (char)0xef};
    char iv[8] = {0};
    char data[8] = "Now is t";
    static const unsigned char expected[8] = {0x3f, 0xa4, 0x0e, 0x8a, 0x98, 0x4d, 0x48, 0x15};

    if (ecb_crypt(key, data, 8, des_mode_encrypt) != des_status_done
        || memcmp(data, expected, 8) != 0) {
        fprintf(stderr, "ecb_crypt through the shared library gave a wrong block\n");
        return 1;
    }
    if (cbc_crypt(key, data, 12, des_mode_encrypt | des_mode_report_ok, iv) != des_status_bad_length) {
        fprintf(stderr, "cbc_crypt accepted a length that is not a multiple of 8\n");
        return 1;
    }
    return 0;
}
