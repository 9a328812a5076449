// Each thread's results on the heap, found through a TLS slot that the first
// hash takes. The entry point frees a thread's block as the thread ends and
// the slot at unload. thread_local would bring the C++ runtime's emulated
// thread storage instead, whose key, blocks and handles outlive FreeLibrary.
#include "passwd/thread_results.h"

#include <atomic>

#include <windows.h>

#include <openssl/crypto.h>

namespace dessec {
namespace {

std::atomic<DWORD> results_slot{TLS_OUT_OF_INDEXES};
INIT_ONCE slot_taken = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK take_slot(INIT_ONCE *, void *, void **)
{
    const DWORD slot = TlsAlloc();
    results_slot.store(slot);
    return slot != TLS_OUT_OF_INDEXES;
}

}  // namespace

thread_results *this_thread_results()
{
    if (!InitOnceExecuteOnce(&slot_taken, take_slot, nullptr, nullptr))
        return nullptr;
    const DWORD slot = results_slot.load();
    auto *results = static_cast<thread_results *>(TlsGetValue(slot));
    if (results != nullptr)
        return results;
    results = static_cast<thread_results *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(thread_results)));
    if (results != nullptr && !TlsSetValue(slot, results)) {
        HeapFree(GetProcessHeap(), 0, results);
        results = nullptr;
    }
    return results;
}

// Runs under the loader lock: it reads the slot and frees, never waits.
void release_thread_results()
{
    const DWORD slot = results_slot.load();
    if (slot == TLS_OUT_OF_INDEXES)
        return;
    auto *results = static_cast<thread_results *>(TlsGetValue(slot));
    if (results == nullptr)
        return;
    OPENSSL_cleanse(results, sizeof(thread_results));
    HeapFree(GetProcessHeap(), 0, results);
    TlsSetValue(slot, nullptr);
}

void release_thread_results_slot()
{
    release_thread_results();
    const DWORD slot = results_slot.exchange(TLS_OUT_OF_INDEXES);
    if (slot != TLS_OUT_OF_INDEXES)
        TlsFree(slot);
}

}  // namespace dessec
