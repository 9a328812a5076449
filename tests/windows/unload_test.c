/* dessec.dll as a plug-in: loaded, used and freed many times, it leaves the
 * process each time (GetModuleHandle finds it no more) and the process does
 * not grow (committed private memory, and the value of a new handle, which
 * takes the lowest free slot, after the last cycle as after the first ones);
 * a thread that called it before the free and ends after it ends cleanly.
 * The cycles call what keeps no per-thread state: a thread's first call of
 * passwd_crypt or dh_keysGenerator still leaves a few handles of the C++
 * runtime's thread support behind at each unload, and so does every load of
 * the 32-bit DLL, whose handles are counted but not held against it. */
#include <stdio.h>
#include <string.h>

#include <windows.h>

#include <dessec.h>

typedef int (*keys_fn)(char *, char *);
typedef int (*text_fn)(char *, const char *);
typedef int (*ecb_fn)(char *, char *, unsigned int, unsigned int);
typedef char *(*crypt_fn)(const char *, const char *);

enum { cycles = 300, warm_up = 20 };
static int failures;

static void check(int ok, const char *what, int cycle)
{
    if (!ok && failures++ < 10)
        printf("FAIL: %s (cycle %d)\n", what, cycle);
}

/* Loads the DLL and seals and opens a record, and encrypts a block, which
 * set up libcrypto's DES. */
static HMODULE load_and_seal(int cycle)
{
    char record[DESSEC_RECORD_BUFFER] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    char key[DESSEC_DES_KEY_SIZE] = "dessec!", block[8] = "block..";
    HMODULE dll = LoadLibraryA("dessec.dll");
    check(dll != NULL, "LoadLibrary", cycle);
    if (dll == NULL)
        return NULL;
    text_fn seal = (text_fn)(void (*)(void))GetProcAddress(dll, "xencrypt");
    text_fn open = (text_fn)(void (*)(void))GetProcAddress(dll, "xdecrypt");
    ecb_fn ecb = (ecb_fn)(void (*)(void))GetProcAddress(dll, "ecb_crypt");
    check(seal != NULL && open != NULL && seal(record, "pw") == 1 && open(record, "pw") == 1
              && strcmp(record, "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef") == 0,
          "xencrypt and xdecrypt", cycle);
    check(ecb != NULL && ecb(key, block, 8, 0) <= 1, "ecb_crypt", cycle);
    return dll;
}

/* Loads the DLL and makes a key pair and a hash, which set up libcrypto's
 * random generator and a per-thread result buffer. */
static HMODULE load_and_use(int cycle)
{
    char secret[DESSEC_KEY_BUFFER], public_key[DESSEC_KEY_BUFFER];
    HMODULE dll = LoadLibraryA("dessec.dll");
    check(dll != NULL, "LoadLibrary", cycle);
    if (dll == NULL)
        return NULL;
    keys_fn keys = (keys_fn)(void (*)(void))GetProcAddress(dll, "dh_keysGenerator");
    crypt_fn crypt = (crypt_fn)(void (*)(void))GetProcAddress(dll, "passwd_crypt");
    check(keys != NULL && keys(secret, public_key) == 0 && strlen(secret) == DESSEC_SECRET_KEY_DIGITS,
          "dh_keysGenerator", cycle);
    check(crypt != NULL && strcmp(crypt("password", "ab"), "abJnggxhB/yWI") == 0, "passwd_crypt", cycle);
    return dll;
}

static void free_and_check(HMODULE dll, int cycle)
{
    check(FreeLibrary(dll) != 0, "FreeLibrary", cycle);
    check(GetModuleHandleA("dessec.dll") == NULL, "dessec.dll still loaded after FreeLibrary", cycle);
}

static SIZE_T private_bytes(void)
{
    MEMORY_BASIC_INFORMATION region;
    const char *at = NULL;
    SIZE_T total = 0;
    while (VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        at = (const char *)region.BaseAddress + region.RegionSize;
    }
    return total;
}

static unsigned long next_handle(void)
{
    HANDLE probe = CreateEventA(NULL, FALSE, FALSE, NULL);
    CloseHandle(probe);
    return (unsigned long)(ULONG_PTR)probe;
}

static HANDLE called, go_on;

static DWORD WINAPI caller(void *unused)
{
    (void)unused;
    HMODULE dll = GetModuleHandleA("dessec.dll");
    crypt_fn crypt = (crypt_fn)(void (*)(void))GetProcAddress(dll, "passwd_crypt");
    int ok = crypt != NULL && strcmp(crypt("password", "ab"), "abJnggxhB/yWI") == 0;
    SetEvent(called);
    WaitForSingleObject(go_on, INFINITE);
    return ok ? 0 : 1;
}

int main(void)
{
    SIZE_T memory = 0;
    unsigned long handle = 0;
    DWORD thread_status = 1;
    int cycle;
    for (cycle = 1; cycle <= cycles; ++cycle) {
        HMODULE dll = load_and_seal(cycle);
        if (dll != NULL)
            free_and_check(dll, cycle);
        if (cycle == warm_up) {
            memory = private_bytes();
            handle = next_handle();
        }
    }
    check(private_bytes() <= memory + 256 * 1024, "private memory grew by more than 256 KiB", cycles);
#if defined(_WIN64)
    check(next_handle() <= handle, "handles left open", cycles);
#endif
    printf("%d cycles: private memory %lu KiB, then %lu KiB; new handle %lx, then %lx\n", cycles,
           (unsigned long)(memory / 1024), (unsigned long)(private_bytes() / 1024), handle, next_handle());

    /* A thread calls the DLL, waits while it is freed, then ends. */
    HMODULE dll = load_and_use(0);
    called = CreateEventA(NULL, TRUE, FALSE, NULL);
    go_on = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, caller, NULL, 0, NULL);
    WaitForSingleObject(called, 30000);
    if (dll != NULL)
        free_and_check(dll, 0);
    SetEvent(go_on);
    check(WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &thread_status)
              && thread_status == 0,
          "the thread that called the freed DLL ends cleanly", 0);
    CloseHandle(thread);
    CloseHandle(go_on);
    CloseHandle(called);
    dll = load_and_use(0);
    if (dll != NULL)
        free_and_check(dll, 0);
    if (failures == 0)
        printf("dessec.dll unloads on FreeLibrary; a thread that called it ends after the free\n");
    return failures ? 1 : 0;
}
