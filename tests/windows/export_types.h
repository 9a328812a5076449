/* The types of the 13 exports, for programs that find them with
 * GetProcAddress. */
#ifndef EXPORT_TYPES_H
#define EXPORT_TYPES_H

/* Any function: what GetProcAddress gives is kept as this, and cast to the
 * function's own type when called. */
typedef void (*any_fn)(void);
typedef int (*ecb_fn)(char *, char *, unsigned int, unsigned int);
typedef int (*cbc_fn)(char *, char *, unsigned int, unsigned int, char *);
typedef void (*setparity_fn)(char *);
typedef void (*hex2bin_fn)(int, const char *, unsigned char *);
typedef void (*bin2hex_fn)(int, const unsigned char *, char *);
typedef int (*text_fn)(char *, const char *);
typedef void (*dh_fn)(char *, char *, char *, char *);
typedef int (*keys_fn)(char *, char *);
typedef char *(*crypt_fn)(const char *, const char *);
typedef int (*verify_fn)(const char *, const char *);
typedef int (*saltgen_fn)(char *);

#endif
