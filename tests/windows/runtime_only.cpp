// The C++ runtime that mingw-w64 links statically into a DLL and nothing
// more: one call into it, and the runtime's memory freed at unload as
// dessec.dll's entry point frees it. The unload test measures what it leaves
// per load.
#include <cstdlib>

#include <windows.h>

// The runtime's exception pool, declared by hand as dessec.dll declares it.
namespace __gnu_cxx {
void __freeres() noexcept;
}

extern "C" __declspec(dllexport) int first_use()
{
    return std::atoi("1");
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr)
        __gnu_cxx::__freeres();
    return TRUE;
}
