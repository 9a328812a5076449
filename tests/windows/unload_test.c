/* dessec.dll as a plug-in: loaded, used and freed many times. Each cycle
 * calls all 13 exports from the loading thread and from a thread that ends
 * before the free; the DLL then leaves the process (GetModuleHandle finds it
 * no more), and from the 20th cycle on the process grows no more than it does
 * for runtime_only.dll: heap in use (HeapWalk), committed private memory, and
 * the value of a new handle, which takes the lowest free slot (Wine's
 * GetProcessHandleCount says 0).
 *
 * runtime_only.dll holds the C++ runtime that mingw-w64 links statically
 * into a DLL, and nothing more. On 64-bit Windows its loads leave nothing; on
 * 32-bit Windows each leaves two handles and some 350 bytes of heap, which
 * no DLL with that runtime inside can avoid. A local static would add more:
 * the runtime guards its first build with a winpthreads mutex and condition
 * variable that no unload frees, so dessec.dll builds its tables without.
 *
 * Last, a thread that called the DLL waits while it is freed and then ends
 * cleanly. */
#include <stdio.h>
#include <string.h>

#include <windows.h>

#include <dessec.h>

#include "export_types.h"
#include "heap_in_use.h"

typedef int (*first_use_fn)(void);

enum { cycles = 300, warm_up = 20 };
static int failures;

static void check(int ok, const char *what, int cycle)
{
    if (!ok && failures++ < 10)
        printf("FAIL: %s (cycle %d)\n", what, cycle);
}

static any_fn export_of(const char *name)
{
    return (any_fn)GetProcAddress(GetModuleHandleA("dessec.dll"), name);
}

/* All 13 exports, each with an answer that shows it worked; 1 when all did. */
static int use_every_export(void)
{
    char key[DESSEC_DES_KEY_SIZE] = "dessec!", iv[DESSEC_DES_KEY_SIZE] = {0}, block[16] = "two blocks here";
    char record[DESSEC_RECORD_BUFFER] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    char hex[9], base[] = "3", exponent[] = "0123456789abcdef0123456789abcdef0123456789abcdef";
    char modulus[] = DESSEC_DH_MODULUS, out[DESSEC_DH_OUT_BUFFER];
    char secret[DESSEC_KEY_BUFFER], public_key[DESSEC_KEY_BUFFER], salt[DESSEC_SALT_BUFFER];
    unsigned char bytes[4];
    int ok = 1;
    ((setparity_fn)export_of("des_setparity"))(key);
    ok &= ((ecb_fn)export_of("ecb_crypt"))(key, block, 8, des_mode_encrypt) == des_status_done;
    ok &= ((cbc_fn)export_of("cbc_crypt"))(key, block, 16, des_mode_encrypt, iv) == des_status_done;
    ((hex2bin_fn)export_of("hex2bin"))(4, "DEADbeef", bytes);
    ((bin2hex_fn)export_of("bin2hex"))(4, bytes, hex);
    ok &= strcmp(hex, "deadbeef") == 0;
    ok &= ((text_fn)export_of("xencrypt"))(record, "pw") == 1 && ((text_fn)export_of("xdecrypt"))(record, "pw") == 1;
    ok &= ((text_fn)export_of("xencrypt"))(record, "pw") == 1
          && ((text_fn)export_of("decrypt_secret_key"))(record, "pw") == 1;
    ((dh_fn)export_of("dh"))(base, exponent, modulus, out);
    ok &= strcmp(out, "0893B637888AAA67C2507A72DCE1D4107D4523D579CBB14A") == 0;
    ok &= ((keys_fn)export_of("dh_keysGenerator"))(secret, public_key) == 0;
    ok &= strcmp(((crypt_fn)export_of("passwd_crypt"))("password", "ab"), "abJnggxhB/yWI") == 0;
    ok &= ((verify_fn)export_of("passwd_verify"))("password", "$1$abcdefgh$G//4keteveJp0qb8z2DxG/") == 1;
    ((saltgen_fn)export_of("passwd_saltgen"))(salt);
    ok &= strlen(salt) == 2;
    return ok;
}

static DWORD WINAPI use_and_end(void *unused)
{
    (void)unused;
    return use_every_export() ? 0 : 1;
}

/* Loads the DLL, uses every export from this thread and from one that ends
 * before the free, and frees the DLL. */
static void cycle_of_use(int cycle)
{
    DWORD status = 1;
    HMODULE dll = LoadLibraryA("dessec.dll");
    check(dll != NULL, "LoadLibrary", cycle);
    if (dll == NULL)
        return;
    check(use_every_export(), "the 13 exports from the loading thread", cycle);
    HANDLE thread = CreateThread(NULL, 0, use_and_end, NULL, 0, NULL);
    check(thread != NULL && WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0
              && GetExitCodeThread(thread, &status) && status == 0,
          "the 13 exports from a thread that ends before the free", cycle);
    if (thread != NULL)
        CloseHandle(thread);
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

static void runtime_cycle(int cycle)
{
    HMODULE dll = LoadLibraryA("runtime_only.dll");
    first_use_fn first_use = dll ? (first_use_fn)(any_fn)GetProcAddress(dll, "first_use") : NULL;
    check(first_use != NULL && first_use() == 1, "runtime_only.dll loads and answers", cycle);
    check(dll != NULL && FreeLibrary(dll) != 0, "FreeLibrary(runtime_only.dll)", cycle);
}

/* What the process holds: bytes of heap and of private memory, and the value
 * of a new handle. */
struct usage {
    long heap, memory, handle;
};

static struct usage usage_now(void)
{
    struct usage now = {(long)heap_in_use(), (long)private_bytes(), (long)next_handle()};
    return now;
}

/* How much the process grows from the end of the warm-up to the last cycle,
 * with handles counted. */
static struct usage growth_over_cycles(const char *dll, void (*cycle)(int))
{
    struct usage start = {0, 0, 0}, end;
    int c;
    for (c = 1; c <= cycles; ++c) {
        cycle(c);
        if (c == warm_up)
            start = usage_now();
    }
    end = usage_now();
    end.heap -= start.heap;
    end.memory -= start.memory;
    end.handle = (end.handle - start.handle) / 4;
    printf("%s, %d loads after %d: heap in use %+ld bytes, private memory %+ld KiB, %+ld handles\n", dll,
           cycles - warm_up, warm_up, end.heap, end.memory / 1024, end.handle);
    return end;
}

static HANDLE called, go_on;

static DWORD WINAPI call_and_wait(void *unused)
{
    (void)unused;
    crypt_fn crypt = (crypt_fn)export_of("passwd_crypt");
    int ok = crypt != NULL && strcmp(crypt("password", "ab"), "abJnggxhB/yWI") == 0;
    SetEvent(called);
    WaitForSingleObject(go_on, INFINITE);
    return ok ? 0 : 1;
}

/* A thread calls the DLL, waits while it is freed, then ends. */
static void thread_outlives_free(void)
{
    DWORD status = 1;
    HMODULE dll = LoadLibraryA("dessec.dll");
    check(dll != NULL, "LoadLibrary", 0);
    called = CreateEventA(NULL, TRUE, FALSE, NULL);
    go_on = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, call_and_wait, NULL, 0, NULL);
    WaitForSingleObject(called, 30000);
    check(dll != NULL && FreeLibrary(dll) != 0 && GetModuleHandleA("dessec.dll") == NULL, "FreeLibrary", 0);
    SetEvent(go_on);
    check(WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &status) && status == 0,
          "the thread that called the freed DLL ends cleanly", 0);
    CloseHandle(thread);
    CloseHandle(go_on);
    CloseHandle(called);
}

int main(void)
{
    const struct usage dessec = growth_over_cycles("dessec.dll", cycle_of_use);
    const struct usage runtime = growth_over_cycles("runtime_only.dll", runtime_cycle);
    /* Beyond the runtime's, what the system takes once, at some cycle. */
    check(dessec.heap <= runtime.heap + 16 * 1024, "heap in use grew more than the runtime's", cycles);
    check(dessec.memory <= runtime.memory + 128 * 1024, "private memory grew more than the runtime's", cycles);
    check(dessec.handle <= runtime.handle, "more handles left than the runtime's", cycles);
    printf("handles left per load: %ld, the runtime's own %ld (what the statically linked runtime leaves, "
           "as runtime_only.dll shows)\n",
           dessec.handle / (cycles - warm_up), runtime.handle / (cycles - warm_up));

    thread_outlives_free();
    cycle_of_use(0);
    if (failures == 0)
        printf("dessec.dll unloads on FreeLibrary; a thread that called it ends after the free\n");
    return failures ? 1 : 0;
}
