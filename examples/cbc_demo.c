/* Encrypts a 24-byte message with DES-CBC in two chained requests, decrypts it
 * in one request, and prints every stage in hexadecimal. */
#include <stdio.h>
#include <string.h>

#include "dessec.h"

static void print_hex(const char *label, const char *bytes, size_t len)
{
    printf("%-11s", label);
    for (size_t i = 0; i < len; ++i)
        printf("%02x", (unsigned char)bytes[i]);
    printf("\n");
}

int main(void)
{
    char key[8] = {0x01, 0x23, 0x45, 0x67, (char)0x89, (char)0xab, (char)0xcd, (char)0xef};
    const char start_iv[8] = {0x12, 0x34, 0x56, 0x78, (char)0x90, (char)0xab, (char)0xcd, (char)0xef};
    char message[25] = "Now is the time for all ";
    char iv[8];

    print_hex("plain", message, 24);

    memcpy(iv, start_iv, sizeof iv);
    int first = cbc_crypt(key, message, 16, des_mode_encrypt, iv);
    int second = cbc_crypt(key, message + 16, 8, des_mode_encrypt, iv);
    if (first > des_status_done || second > des_status_done)
        return 1;
    print_hex("encrypted", message, 24);
    print_hex("vector", iv, 8);

    memcpy(iv, start_iv, sizeof iv);
    if (cbc_crypt(key, message, 24, des_mode_decrypt, iv) > des_status_done)
        return 1;
    print_hex("decrypted", message, 24);
    printf("%-11s%.24s\n", "text", message);
    return 0;
}
