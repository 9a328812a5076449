// The test suites' one platform layer: a page with its own protection.
#include "test_support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace dessec_test {

#if defined(_WIN32)

memory_page::memory_page()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    size_ = info.dwPageSize;
    data_ = static_cast<char *>(VirtualAlloc(nullptr, 2 * size_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD previous = 0;
    if (data_ != nullptr && VirtualProtect(data_ + size_, size_, PAGE_NOACCESS, &previous) == 0) {
        VirtualFree(data_, 0, MEM_RELEASE);
        data_ = nullptr;
    }
}

memory_page::~memory_page()
{
    if (data_ != nullptr)
        VirtualFree(data_, 0, MEM_RELEASE);
}

bool memory_page::make_read_only()
{
    DWORD previous = 0;
    return data_ != nullptr && VirtualProtect(data_, size_, PAGE_READONLY, &previous) != 0;
}

#else

memory_page::memory_page() : size_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE)))
{
    void *mem = mmap(nullptr, 2 * size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    data_ = mem == MAP_FAILED ? nullptr : static_cast<char *>(mem);
    if (data_ != nullptr && mprotect(data_ + size_, size_, PROT_NONE) != 0) {
        munmap(data_, 2 * size_);
        data_ = nullptr;
    }
}

memory_page::~memory_page()
{
    if (data_ != nullptr)
        munmap(data_, 2 * size_);
}

bool memory_page::make_read_only() { return data_ != nullptr && mprotect(data_, size_, PROT_READ) == 0; }

#endif

}  // namespace dessec_test
