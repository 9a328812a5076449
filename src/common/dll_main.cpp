// Windows entry point. Under the loader lock it does only what cannot wait,
// load or fail: nothing at load (libcrypto starts at the first call that
// needs it), and frees at the end of a thread and at unload.
//
// A thread's state goes with the thread: libcrypto's (its random generators
// and error queue), which a libcrypto DLL of its own would free in its own
// entry point, and the thread's result texts. At FreeLibrary (reserved null)
// the calling thread's state goes too, then the TLS slot, libcrypto and the
// C++ runtime's memory: dessec.dll can be unloaded (its libcrypto pins no
// module). At process exit (reserved not null) nothing is freed: other
// threads are gone mid-call, and the process's memory goes anyway.
#include <windows.h>

#include <openssl/crypto.h>

#include "passwd/thread_results.h"

// The C++ runtime linked into the DLL takes its emergency exception pool in a
// static constructor at load and frees it only in this function, which it
// declares in no header: nothing else releases the pool, which every unload
// would otherwise lose, so it is declared by hand.
namespace __gnu_cxx {
void __freeres() noexcept;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_THREAD_DETACH) {
        dessec::release_thread_results();
        OPENSSL_thread_stop();
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        dessec::release_thread_results_slot();
        OPENSSL_cleanup();
        __gnu_cxx::__freeres();
    }
    return TRUE;
}
