/* Bytes of the process's heaps in use, summed with HeapWalk over every heap:
 * Wine's process memory counters stay flat as a heap grows. */
#ifndef HEAP_IN_USE_H
#define HEAP_IN_USE_H

#include <stddef.h>

#include <windows.h>

static size_t heap_in_use(void)
{
    HANDLE heaps[256];
    DWORD count = GetProcessHeaps(256, heaps);
    size_t total = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        PROCESS_HEAP_ENTRY entry;
        entry.lpData = NULL;
        if (!HeapLock(heaps[i]))
            continue;
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

#endif
