// Windows entry point. dessec.dll can be unloaded (its libcrypto pins no
// module), so libcrypto's state goes with it: libcrypto is told at load not
// to register its clean-up with the process's exit, which would then call
// into a module long gone, and is cleaned up here when FreeLibrary unloads
// the DLL, with the C++ runtime's memory. At process exit (reserved not
// null) nothing is cleaned: other threads are gone mid-call, and the
// process's memory goes anyway.
#include <windows.h>

#include <openssl/crypto.h>

// The C++ runtime linked into the DLL frees its emergency exception pool here.
namespace __gnu_cxx {
void __freeres() noexcept;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
        return OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;
    }
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        OPENSSL_cleanup();
        __gnu_cxx::__freeres();
    }
    return TRUE;
}
