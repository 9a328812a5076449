// Password-keyed hex encryption: the hex codec and DES-CBC of hexadecimal
// secrets under a key made from a password.
#pragma once

namespace dessec {

// Value of any byte as a digit: '0'-'9' 0-9, letters of either case 10-35
// ('g' 16, 'z' 35), every other byte 255.
unsigned char hex_digit_value(unsigned char c);

// The work behind hex2bin and bin2hex, for calls from elsewhere in the library.
void hex_to_bytes(int count, const char *text, unsigned char *out);
void bytes_to_hex(int count, const unsigned char *bytes, char *out);

// Key byte i from bits 0-5 of password character i, for the first 8
// characters, then odd parity with bit 7 clear.
void password_to_des_key(const char *passwd, char key[8]);

// The work behind xencrypt, xdecrypt and decrypt_secret_key.
int encrypt_hex_secret(char *secret, const char *passwd);
int decrypt_hex_secret(char *secret, const char *passwd);
int open_secret_key_record(char *record, const char *passwd);

}  // namespace dessec
