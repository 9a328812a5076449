/* refuse_tmpfile.c: preloaded into the tool, makes every open with
 * O_TMPFILE fail as on a file system that takes no unnamed files, so that
 * the tests reach the new file that has a name from the start. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

typedef int (*open_call)(const char *, int, ...);
typedef int (*openat_call)(int, const char *, int, ...);

static int unnamed(int flags)
{
    return (flags & O_TMPFILE) == O_TMPFILE;
}

static mode_t mode_of(int flags, va_list rest)
{
    return (flags & O_CREAT) || unnamed(flags) ? va_arg(rest, mode_t) : 0;
}

/* Each call takes the mode only where the flags say there is one. */
#define REFUSING(name, call_type, params, args)                                \
    int name params                                                            \
    {                                                                          \
        va_list rest;                                                          \
        va_start(rest, flags);                                                 \
        const mode_t mode = mode_of(flags, rest);                              \
        va_end(rest);                                                          \
        if (unnamed(flags)) {                                                  \
            errno = EOPNOTSUPP;                                                \
            return -1;                                                         \
        }                                                                      \
        return ((call_type)dlsym(RTLD_NEXT, #name))args;                       \
    }

REFUSING(open, open_call, (const char *path, int flags, ...), (path, flags, mode))
REFUSING(open64, open_call, (const char *path, int flags, ...), (path, flags, mode))
REFUSING(openat, openat_call, (int folder, const char *path, int flags, ...), (folder, path, flags, mode))
REFUSING(openat64, openat_call, (int folder, const char *path, int flags, ...), (folder, path, flags, mode))
