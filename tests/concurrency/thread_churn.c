/* Threads that come and go, as in a long-lived host with a thread per
 * request: for each of five calls, 3000 threads started one after another,
 * each making that one call and ending. A thread's state goes with it: the
 * heap in use may grow by no more than a few bytes per thread between the
 * 2000th and the 3000th thread. On Windows the heap in use is summed with
 * HeapWalk over every heap of the process (Wine's process memory counters stay
 * flat), on Linux it is mallinfo2's. */
#if !defined(_WIN32)
#define _GNU_SOURCE
#endif
#include <stdio.h>
#include <string.h>

#include <dessec.h>

/* ---------------------------------------------------------------- platform */

struct job {
    int (*call)(void);
    int ok;
};

#if defined(_WIN32)
#include <windows.h>

#include "heap_in_use.h"

static DWORD WINAPI thread_main(void *arg)
{
    struct job *job = arg;
    job->ok = job->call();
    return 0;
}

static int run_in_thread(struct job *job)
{
    HANDLE thread = CreateThread(NULL, 0, thread_main, job, 0, NULL);
    if (thread == NULL)
        return 0;
    int ended = WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}
#else
#include <malloc.h>
#include <pthread.h>

static void *thread_main(void *arg)
{
    struct job *job = arg;
    job->ok = job->call();
    return NULL;
}

static int run_in_thread(struct job *job)
{
    pthread_t thread;
    return pthread_create(&thread, NULL, thread_main, job) == 0 && pthread_join(thread, NULL) == 0;
}

static size_t heap_in_use(void)
{
    return mallinfo2().uordblks;
}
#endif

/* ---------------------------------------------------------------- calls */

static int make_key_pair(void)
{
    char secret[DESSEC_KEY_BUFFER], public_key[DESSEC_KEY_BUFFER];
    return dh_keysGenerator(secret, public_key) == 0 && strlen(secret) == DESSEC_SECRET_KEY_DIGITS;
}

static int make_salt(void)
{
    char salt[DESSEC_SALT_BUFFER];
    passwd_saltgen(salt);
    return strlen(salt) == 2;
}

static int hash_password(void)
{
    return strcmp(passwd_crypt("password", "ab"), "abJnggxhB/yWI") == 0;
}

static int seal_text(void)
{
    char text[] = "0123456789abcdef";
    return xencrypt(text, "pw") == 1;
}

static int encrypt_block(void)
{
    char key[DESSEC_DES_KEY_SIZE] = "dessec!", block[8] = "block..";
    return ecb_crypt(key, block, 8, des_mode_encrypt) <= des_status_done;
}

enum { threads = 3000, per_step = 1000, bytes_per_thread = 8 };

int main(void)
{
    static const struct {
        const char *name;
        int (*call)(void);
    } calls[] = {{"dh_keysGenerator", make_key_pair}, {"passwd_saltgen", make_salt},
                 {"passwd_crypt", hash_password},     {"xencrypt", seal_text},
                 {"ecb_crypt", encrypt_block}};
    int failures = 0;
    for (size_t c = 0; c < sizeof calls / sizeof calls[0]; ++c) {
        size_t in_use[threads / per_step + 1] = {heap_in_use()};
        int failed_calls = 0;
        for (int t = 1; t <= threads; ++t) {
            struct job job = {calls[c].call, 0};
            if (!run_in_thread(&job) || !job.ok)
                ++failed_calls;
            if (t % per_step == 0)
                in_use[t / per_step] = heap_in_use();
        }
        const long growth = in_use[3] >= in_use[2] ? (long)(in_use[3] - in_use[2]) : -(long)(in_use[2] - in_use[3]);
        const int ok = failed_calls == 0 && growth <= (long)per_step * bytes_per_thread;
        printf("%s %s: heap in use %lu, after 1000, 2000 and 3000 threads %lu, %lu, %lu (%+ld); %d calls failed\n",
               ok ? "ok  " : "FAIL", calls[c].name, (unsigned long)in_use[0], (unsigned long)in_use[1],
               (unsigned long)in_use[2], (unsigned long)in_use[3], growth, failed_calls);
        failures += !ok;
    }
    return failures ? 1 : 0;
}
