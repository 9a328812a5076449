// The least a C++ DLL can hold of the runtime that mingw-w64 links into it
// statically: one function whose local static is built at its first call,
// under the runtime's guard. The unload test measures what it leaves per load.
#include <cstdlib>

namespace {

int built()
{
    return std::atoi("1");
}

}  // namespace

extern "C" __declspec(dllexport) int first_use()
{
    static const int value = built();
    return value;
}
